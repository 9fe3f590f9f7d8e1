// MimeField: parsing one header line (name clean-up, encoded words, unfolding) and serialising it
// with the folding and encoded-word rules of the target code page.
#include "http/MimeField.h"

#include <cstring>
#include <string_view>

#include "codec/Charset.h"
#include "codec/EncodingConvert.h"
#include "core/AsciiText.h"
#include "core/ContentCoding.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"

namespace vantry {

namespace {

constexpr int32_t kUtf8 = 65001;
constexpr const char *kFold = "\r\n\t";

bool IsNoFoldName(const char *name, bool fromSet) {
    StringBuffer n(name);
    if (n.EqualsNoCase("user-agent")) {
        return true;
    }
    return fromSet && (n.EqualsNoCase("accept") || n.EqualsNoCase("accept-charset"));
}

// The code pages whose values are written as B encoded words.
bool UsesBWords(int32_t cp) {
    switch (cp) {
    case 932:
    case 936:
    case 949:
    case 950:
    case 874:
    case 1361:
    case 1200:
    case 1201:
    case 1256:
    case 28596:
        return true;
    default:
        return cp >= 50001 && cp <= 64999;
    }
}

bool Is7Bit(std::string_view s) {
    for (unsigned char c : s) {
        if (c > 127) {
            return false;
        }
    }
    return true;
}

// Characters since the last line break of the text being built.
int32_t LineLength(const StringBuffer &line) {
    std::string_view v = line.View();
    size_t nl = v.rfind('\n');
    return static_cast<int32_t>(nl == std::string_view::npos ? v.size() : v.size() - nl - 1);
}

// The next "<...>" part from pos that holds an "@".
bool FindAddress(std::string_view text, size_t pos, size_t &open, size_t &close) {
    while ((open = text.find('<', pos)) != std::string_view::npos) {
        close = text.find('>', open);
        if (close == std::string_view::npos) {
            return false;
        }
        if (text.substr(open, close - open).find('@') != std::string_view::npos) {
            return true;
        }
        pos = open + 1;
    }
    return false;
}

// Writes one value with its parts encoded; the line under construction already holds "name: ".
class ValueWriter {
public:
    ValueWriter(const MimeField &field, const char *charset, bool bWords, StringBuffer &line)
        : m_field(field), m_charset(charset), m_bWords(bWords), m_line(line) {}

    // A 7-bit text with folds after ";" (and, for long address lists, ",") outside quotes.
    void CopyFolding(std::string_view text, bool commas) {
        bool quoted = false;
        for (char c : text) {
            m_line.AppendChar(c);
            if (c == '"') {
                quoted = !quoted;
            }
            if (m_field.NoFold || quoted) {
                continue;
            }
            if ((c == ';' || (commas && c == ',')) && LineLength(m_line) > 20) {
                m_line.Append(kFold);
            }
        }
    }

    void CopyFolding(std::string_view text) {
        bool commas = text.size() > 60 && text.find('@') != std::string_view::npos &&
                      text.find(',') != std::string_view::npos;
        CopyFolding(text, commas);
    }

    void Words(std::string_view text) {
        if (text.empty()) {
            return;
        }
        ContentCoding coding;
        uint32_t n = static_cast<uint32_t>(text.size());
        if (m_bWords) {
            coding.EncodeWordsB(text.data(), n, m_charset, m_line);
        } else {
            coding.EncodeWordsQ(text.data(), n, m_charset, m_line);
        }
    }

    // The text between addresses: blanks, commas and enclosing quotes stay literal around the words.
    void WordsAround(std::string_view text) {
        size_t start = 0;
        size_t end = text.size();
        while (start < end && (text[start] == ' ' || text[start] == '\t' || text[start] == ',')) {
            ++start;
        }
        while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
            --end;
        }
        m_line.Append(text.substr(0, start));
        std::string_view core = text.substr(start, end - start);
        if (core.size() >= 2 && core.front() == '"' && core.back() == '"') {
            core = core.substr(1, core.size() - 2);
        }
        if (Is7Bit(core)) {
            m_line.Append(core);
        } else {
            Words(core);
        }
        m_line.Append(text.substr(end));
    }

    void MainPart(std::string_view text) {
        const StringBuffer &name = m_field.Name;
        if (name.EqualsNoCase("received") || name.EqualsNoCase("content-location") ||
            name.EqualsNoCase("content-transfer-encoding")) {
            m_line.Append(text);
            return;
        }
        if (Is7Bit(text)) {
            if (static_cast<int32_t>(text.size()) + LineLength(m_line) < 66) {
                m_line.Append(text);
            } else {
                CopyFolding(text);
            }
            return;
        }
        if (name.EqualsNoCase("subject")) {
            Words(text);
            return;
        }
        int32_t segmentStart = LineLength(m_line);
        size_t pos = 0;
        size_t open = 0;
        size_t close = 0;
        while (FindAddress(text, pos, open, close)) {
            WordsAround(text.substr(pos, open - pos));
            if (LineLength(m_line) - segmentStart > 40) {
                m_line.Append(kFold);
                segmentStart = 0;
            }
            m_line.Append(text.substr(open, close - open + 1));
            pos = close + 1;
        }
        WordsAround(text.substr(pos));
    }

    // Parameters after the first ";": names copied, values encoded and quoted, folded at 65 characters.
    void Parameters(std::string_view rest) {
        bool first = true;
        while (true) {
            size_t semi = rest.find(';');
            std::string_view param = rest.substr(0, semi);
            StringBuffer piece;
            size_t eq = param.find('=');
            if (eq == std::string_view::npos) {
                piece.Append(param);
            } else {
                piece.Append(param.substr(0, eq + 1));
                std::string_view value = ascii::TrimWhite(param.substr(eq + 1));
                if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                    value = value.substr(1, value.size() - 2);
                }
                StringBuffer encoded;
                ValueWriter inner(m_field, m_charset, m_bWords, encoded);
                inner.MainPart(value);
                piece.AppendChar('"');
                piece.AppendBuffer(encoded);
                piece.AppendChar('"');
            }
            if (!first) {
                m_line.AppendChar(';');
            }
            first = false;
            if (piece.Length() > 0 && LineLength(m_line) + piece.Length() >= 65) {
                m_line.Append(kFold);
            }
            m_line.AppendBuffer(piece);
            if (semi == std::string_view::npos) {
                break;
            }
            rest = rest.substr(semi + 1);
        }
    }

    void EncodedValue(std::string_view value, int32_t cp) {
        if (cp >= 50220 && cp <= 50230 &&
            (value.find("(B") != std::string_view::npos || value.find("$)") != std::string_view::npos)) {
            MainPart(value);
            return;
        }
        size_t semi = value.find(';');
        if (semi == std::string_view::npos) {
            MainPart(value);
            return;
        }
        MainPart(value.substr(0, semi));
        m_line.AppendChar(';');
        Parameters(value.substr(semi + 1));
    }

private:
    const MimeField &m_field;
    const char *m_charset;
    bool m_bWords;
    StringBuffer &m_line;
};

// The UTF-8 value in the code page; false when it cannot be converted.
bool ToCodePage(const StringBuffer &value, int32_t cp, DataBuffer &out) {
    if (cp == 0) {
        return false;
    }
    EncodingConvert converter;
    LogNull log;
    bool ok = converter.Convert(kUtf8, cp, value.Text(), static_cast<uint32_t>(value.Length()), out, log);
    return ok && out.Length() > 0;
}

// The value's bytes for encoded words in the code page, and the charset name to label them with;
// a value that cannot be converted, or a code page without a name, is written as UTF-8.
const char *ConvertForWords(const StringBuffer &value, int32_t &codePage, DataBuffer &out) {
    const char *name = CanonicalCharsetName(codePage);
    if (codePage != kUtf8 && name != nullptr && ToCodePage(value, codePage, out)) {
        return name;
    }
    out.Clear();
    out.Append(value.Text(), static_cast<uint32_t>(value.Length()));
    codePage = kUtf8;
    return "utf-8";
}

std::string_view ViewOf(const DataBuffer &data) {
    return std::string_view(reinterpret_cast<const char *>(data.Data()), data.Length());
}

} // namespace

MimeField::MimeField() = default;

MimeField::~MimeField() = default;

bool MimeField::Parse(const char *line) {
    if (line == nullptr) {
        return false;
    }
    const char *colon = std::strchr(line, ':');
    if (colon == nullptr) {
        return false;
    }
    Name.Clear();
    Name.Append(ascii::TrimWhite(std::string_view(line, static_cast<size_t>(colon - line))));
    // Characters that cannot stand in a field name become hyphens.
    char *n = Name.MutableText();
    for (int32_t i = 0; i < Name.Length(); ++i) {
        if (n[i] == ' ' || n[i] == '<' || n[i] == '>' || n[i] == '"' || n[i] == '\'') {
            n[i] = '-';
        }
    }
    Value.Clear();
    Value.Append(ascii::TrimWhite(std::string_view(colon + 1)));
    if (Value.ContainsNoCase("?Q?") || Value.ContainsNoCase("?B?")) {
        ContentCoding coding;
        coding.DecodeEncodedWords(Value);
    }
    if (Value.ContainsChar('\n')) {
        Value.ReplaceAll("\r\n\t", "");
        Value.ReplaceAll("\r\n ", "");
    }
    NoFold = IsNoFoldName(Name.Text(), false);
    return true;
}

void MimeField::Set(const char *name, const char *value) {
    Name.SetString(name != nullptr ? name : "");
    Value.SetString(value != nullptr ? value : "");
    NoFold = IsNoFoldName(Name.Text(), true);
}

void MimeField::Serialise(StringBuffer &out, int32_t codePage) const {
    StringBuffer line;
    line.AppendBuffer(Name);
    line.Append(": ");
    std::string_view value = Value.View();
    bool bWords = UsesBWords(codePage);
    if (bWords && codePage == 50225 && Is7Bit(value)) {
        line.AppendBuffer(Value);
    } else if (!bWords && (Is7Bit(value) || codePage == 20127)) {
        ValueWriter writer(*this, "us-ascii", false, line);
        writer.CopyFolding(value);
    } else {
        DataBuffer converted;
        int32_t target = codePage;
        const char *charset = ConvertForWords(Value, target, converted);
        ValueWriter writer(*this, charset, bWords, line);
        if (bWords && (target == 1200 || target == 1201)) {
            writer.Words(ViewOf(converted)); // UTF-16 text has zero bytes: one unit of words
        } else {
            writer.EncodedValue(ViewOf(converted), target);
        }
    }
    out.Append(ascii::TrimWhite(line.View()));
}

MimeField *MimeField::Clone() const {
    MimeField *copy = new MimeField();
    copy->NoFold = NoFold;
    copy->Name.SetBuffer(Name);
    copy->Value.SetBuffer(Value);
    return copy;
}

} // namespace vantry
