// MimeHeader: loading, searching and serialising a list of header fields.
#include "http/MimeHeader.h"

#include "http/MimeField.h"

MimeHeader::MimeHeader() = default;
MimeHeader::~MimeHeader() = default;
void MimeHeader::Load(const char *) {}
void MimeHeader::Clear() {
    Fields.RemoveAllAndDelete();
}
void MimeHeader::CopyFrom(const MimeHeader &) {}
void MimeHeader::Append(MimeField *field) {
    Fields.Append(field);
}
void MimeHeader::Append(const char *, const char *) {}
void MimeHeader::RemoveAll(const char *) {}
void MimeHeader::Replace(const char *, const char *) {}
bool MimeHeader::GetField(const char *, StringBuffer &) const {
    return false;
}
bool MimeHeader::HasField(const char *) const {
    return false;
}
bool MimeHeader::GetFieldParam(const char *, const char *, StringBuffer &) const {
    return false;
}
void MimeHeader::Serialise(StringBuffer &, const char *, int32_t) const {}
MimeField *MimeHeader::FieldAt(int32_t index) const {
    return Fields.ElementAs<MimeField>(index);
}
const MimeField *MimeHeader::FindField(const char *) const {
    return nullptr;
}
