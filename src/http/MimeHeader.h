// MimeHeader: an ordered list of header fields (names may repeat), loaded from header text with
// charset detection and unfolding, searched by name and serialised back for requests and the cache.
#pragma once
#include <cstdint>

#include "core/ExtPtrArray.h"

namespace vantry {

class MimeField;
class StringBuffer;

class MimeHeader {
public:
    MimeHeader();
    MimeHeader(const MimeHeader &) = delete;
    MimeHeader &operator=(const MimeHeader &) = delete;
    virtual ~MimeHeader();

    // Replaces the fields by those of the header text (up to its empty line, at most 1000 lines).
    void Load(const char *text);
    void Clear();
    void CopyFrom(const MimeHeader &other);
    // Takes ownership of the field.
    void Append(MimeField *field);
    void Append(const char *name, const char *value);
    void RemoveAll(const char *name);
    // Removes every field of that name, then appends one with the trimmed value unless it is empty.
    void Replace(const char *name, const char *value);
    // Appends the value of the first field of that name (letter case ignored).
    bool GetField(const char *name, StringBuffer &out) const;
    bool HasField(const char *name) const;
    // The value of param=value inside the field's ";"-separated value, surrounding quotes dropped.
    bool GetFieldParam(const char *name, const char *param, StringBuffer &out) const;
    // Appends every field not named with skipPrefix (null: none), separated by CR LF, no final line end.
    // codePage 0 takes the header's own code page.
    void Serialise(StringBuffer &out, const char *skipPrefix, int32_t codePage) const;

    int32_t NumFields() const { return Fields.Count(); }
    MimeField *FieldAt(int32_t index) const;
    const MimeField *FindField(const char *name) const;

    int32_t CodePage = 0; // charset detected on load, 0 when none
    ExtPtrArray Fields;   // owned MimeField objects in header order

private:
    void CompleteField(StringBuffer &text, bool insideWalk);
};

} // namespace vantry
