// LogEntry2: one node of the error log tree (context, error, info, raw line or named value) and its
// XML, HTML and plain-text renderings. Owned by its parent context; ErrorLog holds the root.
#pragma once
#include <memory>

#include "core/VantryObject.h"

namespace vantry {

class ExtPtrArray;
class StringBuffer;

class LogEntry2 : public VantryObject {
public:
    static constexpr char kContext = 'C';
    static constexpr char kError = 'E';
    static constexpr char kInfo = 'I';
    static constexpr char kRaw = 'X';
    static constexpr char kValue = 'T';

    explicit LogEntry2(char kind = kInfo);
    ~LogEntry2() override;
    LogEntry2(const LogEntry2 &) = delete;
    LogEntry2 &operator=(const LogEntry2 &) = delete;

    static LogEntry2 *NewContext(const char *name);
    static LogEntry2 *NewMessage(char kind, const char *text);
    static LogEntry2 *NewValue(const char *name, const char *value);

    char Kind() const { return m_kind; }
    ExtPtrArray *Children() const { return m_children.get(); }
    const StringBuffer *Name() const { return m_name.get(); }
    const StringBuffer *Text() const { return m_text.get(); }
    // Appends a child to a context (takes ownership); false for other kinds, which then delete it.
    bool AddChild(LogEntry2 *child);

    void AppendXml(StringBuffer &out) const;
    void AppendHtml(StringBuffer &out) const;
    void AppendText(StringBuffer &out, int level) const;

private:
    char m_kind;
    std::unique_ptr<ExtPtrArray> m_children;
    std::unique_ptr<StringBuffer> m_name;
    std::unique_ptr<StringBuffer> m_text;
};

} // namespace vantry
