// MimeHeader: loading header text (end of header, charset detection, unfolding, the Content-Type
// rule, the line cap), looking fields up and serialising them.
#include "http/MimeHeader.h"

#include <string_view>

#include "codec/Charset.h"
#include "codec/EncodingConvert.h"
#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/MimeField.h"
#include "platform/CodePages.h"

namespace vantry {

namespace {

constexpr int32_t kMaxLines = 1000;

// CR LF -> LF, remaining CRs removed, LF -> CR LF.
void NormaliseLineEnds(StringBuffer &text) {
    text.ToLf();
    text.ToCrlf();
}

// The header part of the text, up to its empty line.
void CutHeader(std::string_view text, StringBuffer &header) {
    header.Clear();
    static constexpr std::string_view kEnds[] = {"\r\n\r\n", "\n\r\n", "\r\n\r"};
    for (std::string_view end : kEnds) {
        size_t at = text.find(end);
        if (at == std::string_view::npos) {
            continue;
        }
        if (at > 0) {
            header.Append(text.substr(0, at));
            if (!header.Contains("\r\n")) {
                NormaliseLineEnds(header);
            }
            return;
        }
        break;
    }
    header.Append(text);
    NormaliseLineEnds(header);
    if (header.Contains("\r\n\r\n")) {
        header.Clear();
    }
}

bool HasHighBytes(std::string_view s) {
    for (unsigned char c : s) {
        if (c > 127) {
            return true;
        }
    }
    return false;
}

bool ConvertsCleanly(int32_t from, std::string_view s) {
    EncodingConvert converter;
    LogNull log;
    DataBuffer out;
    return converter.Convert(from, 65001, s.data(), static_cast<uint32_t>(s.size()), out, log);
}

// The charset named by the first encoded word ("=?name?Q?" or "=?name?B?"), as a code page.
int32_t EncodedWordCodePage(std::string_view header, std::string_view marker) {
    size_t start = header.find("=?");
    if (start == std::string_view::npos) {
        return 0;
    }
    start += 2;
    size_t end = ascii::FindNoCase(header, marker, start);
    if (end == std::string_view::npos) {
        return 0;
    }
    StringBuffer name;
    name.Append(header.substr(start, end - start));
    return CodePageForName(name.Text());
}

int32_t DetectCodePage(std::string_view header) {
    if (ascii::FindNoCase(header, "?Q?") != std::string_view::npos) {
        return EncodedWordCodePage(header, "?Q?");
    }
    if (ascii::FindNoCase(header, "?B?") != std::string_view::npos) {
        return EncodedWordCodePage(header, "?B?");
    }
    if (!HasHighBytes(header)) {
        return 0;
    }
    for (size_t i = 0; i + 1 < header.size(); ++i) {
        if (static_cast<unsigned char>(header[i]) == 0xC3 &&
            static_cast<unsigned char>(header[i + 1]) > 127) {
            return 65001;
        }
    }
    if (ConvertsCleanly(platform::kAnsiCodePage, header)) {
        return platform::kAnsiCodePage;
    }
    if (ConvertsCleanly(28591, header)) {
        return 28591;
    }
    if (ConvertsCleanly(28592, header)) {
        return 28592;
    }
    return 0;
}

} // namespace

MimeHeader::MimeHeader() = default;

MimeHeader::~MimeHeader() = default;

void MimeHeader::Load(const char *text) {
    Clear();
    if (text == nullptr) {
        return;
    }
    StringBuffer header;
    CutHeader(text, header);
    std::string_view all = header.View();
    CodePage = DetectCodePage(all);

    StringBuffer pending;
    bool havePending = false;
    int32_t lines = 0;
    size_t pos = 0;
    while (pos <= all.size() && lines < kMaxLines) {
        size_t end = all.find("\r\n", pos);
        std::string_view line =
            all.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? all.size() + 1 : end + 2;
        if (line.empty()) {
            continue;
        }
        ++lines;
        if (line.substr(0, 5) == "From ") {
            continue;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            std::string_view rest = line.substr(1);
            size_t skip = 0;
            while (skip < rest.size() && (rest[skip] == ' ' || rest[skip] == '\t')) {
                ++skip;
            }
            if (rest.substr(skip, 2) == "=?") {
                rest.remove_prefix(skip);
            }
            pending.Append(rest);
            havePending = true;
            continue;
        }
        if (havePending) {
            CompleteField(pending, true);
        }
        pending.Clear();
        pending.Append(line);
        havePending = true;
    }
    if (havePending) {
        CompleteField(pending, false);
    }
}

void MimeHeader::CompleteField(StringBuffer &text, bool insideWalk) {
    if (HasHighBytes(text.View())) {
        int32_t from = CodePage != 0 ? CodePage : platform::kAnsiCodePage;
        EncodingConvert converter;
        LogNull log;
        DataBuffer utf8;
        converter.Convert(from, 65001, text.Text(), static_cast<uint32_t>(text.Length()), utf8, log);
        if (utf8.Length() > 0) {
            text.Clear();
            text.AppendData(utf8);
        }
    }
    MimeField *field = new MimeField();
    if (!field->Parse(text.Text())) {
        delete field;
        return;
    }
    if (insideWalk && field->Name.EqualsNoCase("content-type")) {
        Replace(field->Name.Text(), field->Value.Text());
        delete field;
        return;
    }
    Fields.Append(field);
}

void MimeHeader::Clear() {
    Fields.RemoveAllAndDelete();
    CodePage = 0;
}

void MimeHeader::CopyFrom(const MimeHeader &other) {
    if (&other == this) {
        return;
    }
    Clear();
    CodePage = other.CodePage;
    for (int32_t i = 0; i < other.Fields.Count(); ++i) {
        Fields.Append(other.FieldAt(i)->Clone());
    }
}

void MimeHeader::Append(MimeField *field) {
    if (field != nullptr) {
        Fields.Append(field);
    }
}

void MimeHeader::Append(const char *name, const char *value) {
    MimeField *field = new MimeField();
    field->Set(name, value);
    Fields.Append(field);
}

void MimeHeader::RemoveAll(const char *name) {
    if (name == nullptr) {
        return;
    }
    for (int32_t i = Fields.Count() - 1; i >= 0; --i) {
        if (FieldAt(i)->Name.EqualsNoCase(name)) {
            delete Fields.RemoveAt(i);
        }
    }
}

void MimeHeader::Replace(const char *name, const char *value) {
    if (name == nullptr) {
        return;
    }
    StringBuffer keepName(name); // name may belong to a field about to be removed
    StringBuffer trimmed;
    trimmed.Append(ascii::TrimWhite(value != nullptr ? value : ""));
    RemoveAll(keepName.Text());
    if (trimmed.Length() > 0) {
        Append(keepName.Text(), trimmed.Text());
    }
}

const MimeField *MimeHeader::FindField(const char *name) const {
    if (name == nullptr) {
        return nullptr;
    }
    for (int32_t i = 0; i < Fields.Count(); ++i) {
        const MimeField *field = FieldAt(i);
        if (field->Name.EqualsNoCase(name)) {
            return field;
        }
    }
    return nullptr;
}

bool MimeHeader::GetField(const char *name, StringBuffer &out) const {
    const MimeField *field = FindField(name);
    if (field == nullptr) {
        return false;
    }
    out.AppendBuffer(field->Value);
    return true;
}

bool MimeHeader::HasField(const char *name) const {
    return FindField(name) != nullptr;
}

bool MimeHeader::GetFieldParam(const char *name, const char *param, StringBuffer &out) const {
    out.Clear();
    const MimeField *field = FindField(name);
    if (field == nullptr || param == nullptr || !field->Value.ContainsNoCase(param)) {
        return false;
    }
    std::string_view value = field->Value.View();
    while (true) {
        size_t semi = value.find(';');
        std::string_view part = value.substr(0, semi);
        size_t eq = part.find('=');
        if (eq != std::string_view::npos &&
            ascii::EqualsNoCase(ascii::TrimWhite(part.substr(0, eq)), param)) {
            std::string_view result = part.substr(eq + 1);
            while (!result.empty() && (result.front() == ' ' || result.front() == '\t')) {
                result.remove_prefix(1);
            }
            if (!result.empty() && result.front() == '"') {
                result.remove_prefix(1);
            }
            result = ascii::TrimWhite(result);
            if (!result.empty() && result.back() == '"') {
                result.remove_suffix(1);
            }
            out.Append(result);
            return true;
        }
        if (semi == std::string_view::npos) {
            return false;
        }
        value.remove_prefix(semi + 1);
    }
}

void MimeHeader::Serialise(StringBuffer &out, const char *skipPrefix, int32_t codePage) const {
    int32_t cp = (codePage == 0 && CodePage != 0) ? CodePage : codePage;
    std::string_view skip = skipPrefix != nullptr ? std::string_view(skipPrefix) : std::string_view();
    StringBuffer text;
    for (int32_t i = 0; i < Fields.Count(); ++i) {
        const MimeField *field = FieldAt(i);
        if (!skip.empty() && ascii::StartsWithNoCase(field->Name.View(), skip)) {
            continue;
        }
        field->Serialise(text, cp);
        text.Append("\r\n");
    }
    while (text.Length() >= 2 && text.LastChar() == '\n') {
        text.Shorten(2);
    }
    out.AppendBuffer(text);
}

MimeField *MimeHeader::FieldAt(int32_t index) const {
    return Fields.ElementAs<MimeField>(index);
}

} // namespace vantry
