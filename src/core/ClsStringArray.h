// ClsStringArray: ordered list of strings with optional duplicate suppression (Unique), trimming
// and line-end normalisation, indexed by a 499-bucket HashMap of text -> occurrence count.
#pragma once
#include <cstdint>
#include <memory>

#include "core/ExtPtrArray.h"
#include "core/StringConsumer.h"

namespace vantry {

class HashMap;
class StringBuffer;

class ClsStringArray : public StringConsumer {
public:
    ClsStringArray();
    ~ClsStringArray() override;
    ClsStringArray(const ClsStringArray &) = delete;
    ClsStringArray &operator=(const ClsStringArray &) = delete;

    bool Append(const char *text);
    void Consume(const char *text) override;
    int32_t Count() const;
    bool GetString(int32_t index, StringBuffer &out) const;
    bool RemoveAt(int32_t index);
    bool Clear();
    bool SetUnique(bool unique);
    bool SetTrim(bool trim);
    bool SetCrlf(bool crlf);
    bool Unique() const { return m_unique; }
    bool Trim() const { return m_trim; }
    bool Crlf() const { return m_crlf; }
    // How many elements carry exactly this text (0 when none).
    int32_t IndexedCount(const char *text) const;

private:
    // Trim (when set), then CR LF line ends (Crlf set) or LF ones (Crlf clear).
    void Normalize(StringBuffer &s) const;

    bool m_unique = false;
    bool m_trim = false;
    bool m_crlf = true;
    ExtPtrArray m_elements;
    std::unique_ptr<HashMap> m_index;
};

} // namespace vantry
