// MimeField: one header field (name and unfolded, decoded value), parsed from a header line and
// serialised back with folding and encoded words. Held by MimeHeader.
#pragma once
#include <cstdint>

#include "core/StringBuffer.h"
#include "core/VantryObject.h"

namespace vantry {

class MimeField : public VantryObject {
public:
    MimeField();
    ~MimeField() override;

    // Splits "name: value"; false when the line has no colon.
    bool Parse(const char *line);
    // Sets name and value as given; "user-agent", "accept" and "accept-charset" are never folded.
    void Set(const char *name, const char *value);
    // Appends "name: value" with the value encoded for the code page (0: none named), without a line end.
    void Serialise(StringBuffer &out, int32_t codePage) const;
    // A new copy, owned by the caller.
    MimeField *Clone() const;

    bool NoFold = false; // the value is never folded on output
    StringBuffer Name;
    StringBuffer Value; // unfolded, encoded words decoded
};

} // namespace vantry
