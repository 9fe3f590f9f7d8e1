// LogEntry2: log tree nodes and their three renderings (XML with CDATA wrapping, HTML with entity
// encoding, indented plain text). Every line ends with CR LF.
#include "log/LogEntry2.h"

#include <string_view>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {

// Appends a text for XML: inside a CDATA section when it holds LF, TAB, '&', '>' or '<', unless it
// already carries its own CDATA markers. A "]]>" inside the text is split across two sections so
// that it cannot end the section early.
void AppendXmlText(StringBuffer &out, const StringBuffer &text) {
    std::string_view v = text.View();
    if (v.find_first_of("\n\t&><") == std::string_view::npos) {
        out.AppendBuffer(text);
        return;
    }
    if (v.find("<![CDATA[") != std::string_view::npos && v.find("]]>") != std::string_view::npos) {
        out.AppendBuffer(text);
        return;
    }
    out.Append("<![CDATA[");
    size_t pos = 0;
    for (size_t hit; (hit = v.find("]]>", pos)) != std::string_view::npos; pos = hit + 3) {
        out.Append(v.substr(pos, hit - pos));
        out.Append("]]]]><![CDATA[>");
    }
    out.Append(v.substr(pos));
    out.Append("]]>");
}

void AppendEncoded(StringBuffer &out, const StringBuffer &text) {
    StringBuffer copy(text);
    copy.EncodeEntities();
    out.AppendBuffer(copy);
}

void AppendIndent(StringBuffer &out, int level) {
    if (level > 0)
        out.AppendCharN(' ', level * 2);
}

} // namespace

LogEntry2::LogEntry2(char kind) : m_kind(kind) {}

LogEntry2::~LogEntry2() = default;

LogEntry2 *LogEntry2::NewContext(const char *name) {
    auto *e = new LogEntry2(kContext);
    e->m_children = std::make_unique<ExtPtrArray>();
    e->m_name = std::make_unique<StringBuffer>(name ? name : "");
    return e;
}

LogEntry2 *LogEntry2::NewMessage(char kind, const char *text) {
    auto *e = new LogEntry2(kind);
    e->m_text = std::make_unique<StringBuffer>(text ? text : "");
    return e;
}

LogEntry2 *LogEntry2::NewValue(const char *name, const char *value) {
    auto *e = new LogEntry2(kValue);
    e->m_name = std::make_unique<StringBuffer>(name ? name : "");
    e->m_text = std::make_unique<StringBuffer>(value ? value : "");
    return e;
}

bool LogEntry2::AddChild(LogEntry2 *child) {
    if (!child)
        return false;
    if (m_kind != kContext || !m_children) {
        delete child;
        return false;
    }
    m_children->Append(child);
    return true;
}

void LogEntry2::AppendXml(StringBuffer &out) const {
    switch (m_kind) {
    case kContext:
        if (!m_children || !m_name)
            return;
        out.Append("<");
        out.AppendBuffer(*m_name);
        out.Append(">\r\n");
        for (int32_t i = 0; i < m_children->Count(); ++i) {
            if (auto *child = m_children->ElementAs<LogEntry2>(i))
                child->AppendXml(out);
        }
        out.Append("</");
        out.AppendBuffer(*m_name);
        out.Append(">\r\n");
        return;
    case kError:
    case kInfo:
        if (!m_text)
            return;
        out.Append(m_kind == kError ? "<error>" : "<info>");
        AppendXmlText(out, *m_text);
        out.Append(m_kind == kError ? "</error>\r\n" : "</info>\r\n");
        return;
    case kRaw:
        if (!m_text)
            return;
        out.AppendBuffer(*m_text);
        out.Append("\r\n");
        return;
    case kValue:
        if (!m_name || !m_text)
            return;
        out.Append("<");
        out.AppendBuffer(*m_name);
        out.Append(">");
        AppendXmlText(out, *m_text);
        out.Append("</");
        out.AppendBuffer(*m_name);
        out.Append(">\r\n");
        return;
    default:
        return;
    }
}

void LogEntry2::AppendHtml(StringBuffer &out) const {
    switch (m_kind) {
    case kContext:
        if (!m_children || !m_name)
            return;
        out.AppendBuffer(*m_name);
        out.Append(":<blockquote>\r\n");
        for (int32_t i = 0; i < m_children->Count(); ++i) {
            if (auto *child = m_children->ElementAs<LogEntry2>(i))
                child->AppendHtml(out);
        }
        out.Append("</blockquote>\r\n");
        return;
    case kError:
    case kInfo:
    case kRaw:
        if (!m_text)
            return;
        AppendEncoded(out, *m_text);
        out.Append("<br>\r\n");
        return;
    case kValue:
        if (!m_name || !m_text)
            return;
        out.AppendBuffer(*m_name);
        out.Append(": ");
        AppendEncoded(out, *m_text);
        out.Append("<br>\r\n");
        return;
    default:
        return;
    }
}

void LogEntry2::AppendText(StringBuffer &out, int level) const {
    switch (m_kind) {
    case kContext:
        if (!m_children || !m_name)
            return;
        AppendIndent(out, level);
        out.AppendBuffer(*m_name);
        out.Append(":\r\n");
        for (int32_t i = 0; i < m_children->Count(); ++i) {
            if (auto *child = m_children->ElementAs<LogEntry2>(i))
                child->AppendText(out, level + 1);
        }
        return;
    case kError:
    case kInfo:
    case kRaw:
        if (!m_text)
            return;
        AppendIndent(out, level);
        out.AppendBuffer(*m_text);
        out.Append("\r\n");
        return;
    case kValue:
        if (!m_name || !m_text)
            return;
        AppendIndent(out, level);
        out.AppendBuffer(*m_name);
        out.Append(": ");
        out.AppendBuffer(*m_text);
        out.Append("\r\n");
        return;
    default:
        return;
    }
}

} // namespace vantry
