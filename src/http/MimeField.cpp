// MimeField: parsing one header line and serialising it.
#include "http/MimeField.h"

MimeField::MimeField() = default;
MimeField::~MimeField() = default;
bool MimeField::Parse(const char *) {
    return false;
}
void MimeField::Set(const char *name, const char *value) {
    Name.SetString(name);
    Value.SetString(value);
}
void MimeField::Serialise(StringBuffer &, int32_t) const {}
MimeField *MimeField::Clone() const {
    return new MimeField(*this);
}
