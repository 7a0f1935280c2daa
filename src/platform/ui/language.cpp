#include "platform/ui/language.h"

#include <QStringDecoder>
#include <QXmlStreamReader>
#include <algorithm>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/ui/resources.h"

namespace velqa::platform::ui {

LanguageTexts& LanguageTexts::instance() {
    static LanguageTexts texts;
    return texts;
}

void LanguageTexts::set_language(const QString& name) {
    std::lock_guard lock(mutex_);
    language_ = name;
}

QString LanguageTexts::language() const {
    std::lock_guard lock(mutex_);
    return language_;
}

namespace {

// A scanner for the form every shipped language file has: an XML declaration and comments, then
// one root element without attributes that holds only <Text id="...">text</Text> elements, whose
// texts use only the five named entities. Qt's XML reader takes some 12,000 instructions a text
// (a tenth of the window's start-up); this takes a few hundred. Anything outside that form (a
// CDATA section, a character reference, another element or attribute, a carriage return in a
// text, a text outside the elements, a comment holding "--") gives nullopt, and the file goes to
// Qt's reader, so that every file reads exactly as Qt's reader reads it.
class PlainTexts {
  public:
    explicit PlainTexts(QStringView text) : s_(text) {}

    std::optional<std::map<QString, QString>> parse() {
        std::map<QString, QString> texts;
        if (at(u"<?xml") && !declaration())
            return std::nullopt;
        if (!misc())
            return std::nullopt;
        // The root element, without attributes.
        if (!take(u"<"))
            return std::nullopt;
        const qsizetype name_start = i_;
        while (i_ < s_.size() && (s_[i_].isLetterOrNumber() || s_[i_] == u'_'))
            ++i_;
        const QStringView root = s_.sliced(name_start, i_ - name_start);
        // A root named like its elements is read by Qt's reader as one of them.
        if (root.isEmpty() || !root.front().isLetter() || root == u"Text" || !take(u">"))
            return std::nullopt;
        for (;;) {
            if (!misc())
                return std::nullopt;
            if (take(u"</")) {
                if (!take(root))
                    return std::nullopt;
                skip_space();
                if (!take(u">"))
                    return std::nullopt;
                break;
            }
            QString id;
            QString value;
            if (!text_element(id, value))
                return std::nullopt;
            if (!id.isEmpty())
                texts[id] = value;
        }
        if (!misc() || i_ != s_.size())
            return std::nullopt;
        return texts;
    }

  private:
    bool at(QStringView what) const { return s_.sliced(i_).startsWith(what); }
    // Moves past `what` when it comes next.
    bool take(QStringView what) {
        if (!at(what))
            return false;
        i_ += what.size();
        return true;
    }

    static bool space(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
    // A character XML allows anywhere (the carriage return only where the caller lets it).
    static bool xml_char(QChar c) {
        return (c >= u' ' || c == u'\t' || c == u'\n' || c == u'\r') && c != u'\uFFFE' &&
               c != u'\uFFFF';
    }
    void skip_space() {
        while (i_ < s_.size() && space(s_[i_]))
            ++i_;
    }

    // The declaration the shipped files have, and its short form; any other (another version,
    // encoding or attribute, other spacing) is Qt's reader's to judge.
    bool declaration() {
        for (QStringView known : {QStringView(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
                                  QStringView(u"<?xml version=\"1.0\"?>")}) {
            if (take(known))
                return true;
        }
        return false;
    }

    // White space and comments.
    bool misc() {
        for (;;) {
            skip_space();
            if (!at(u"<!--"))
                return true;
            const qsizetype end = s_.indexOf(u"--", i_ + 4);
            if (end < 0 || !s_.sliced(end).startsWith(u"-->"))
                return false;
            // A comment holds characters as a text does: no control characters.
            for (QChar c : s_.sliced(i_ + 4, end - i_ - 4)) {
                if (!xml_char(c))
                    return false;
            }
            i_ = end + 3;
        }
    }

    // <Text id="...">text</Text>
    bool text_element(QString& id, QString& value) {
        if (!at(u"<Text") || i_ + 5 >= s_.size() || !space(s_[i_ + 5]))
            return false;
        i_ += 5;
        skip_space();
        if (!take(u"id"))
            return false;
        skip_space();
        if (!take(u"="))
            return false;
        skip_space();
        if (i_ >= s_.size() || (s_[i_] != u'"' && s_[i_] != u'\''))
            return false;
        const QChar quote = s_[i_++];
        // White space other than a space would be normalised in a value: left to Qt's reader.
        if (!characters(quote, id, true))
            return false;
        ++i_;
        skip_space();
        if (!take(u">"))
            return false;
        return characters(u'<', value, false) && close_text();
    }

    // The characters up to `end`, references replaced.
    bool characters(QChar end, QString& out, bool attribute) {
        out.clear();
        qsizetype run = i_;  // start of the characters not yet copied
        for (; i_ < s_.size() && s_[i_] != end; ++i_) {
            const QChar c = s_[i_];
            if (c == u'&') {
                out += s_.sliced(run, i_ - run);
                if (!reference(out, attribute))
                    return false;
                run = i_--;
                continue;
            }
            if (c < u' ' && (attribute || (c != u'\t' && c != u'\n')))
                return false;
            if (c == u'<' || !xml_char(c))
                return false;
            if (c == u'>' && i_ >= 2 && s_[i_ - 1] == u']' && s_[i_ - 2] == u']')
                return false;
        }
        if (i_ >= s_.size())
            return false;
        out += s_.sliced(run, i_ - run);
        return true;
    }

    // A named or numeric reference at i_, appended to `out`; i_ moves past it.
    bool reference(QString& out, bool attribute) {
        static constexpr std::pair<QStringView, QChar> kNamed[] = {{u"&amp;", u'&'},
                                                                   {u"&lt;", u'<'},
                                                                   {u"&gt;", u'>'},
                                                                   {u"&quot;", u'"'},
                                                                   {u"&apos;", u'\''}};
        for (const auto& [name, ch] : kNamed) {
            if (take(name)) {
                out += ch;
                return true;
            }
        }
        if (!at(u"&#"))
            return false;
        const qsizetype semicolon = s_.indexOf(u';', i_);
        if (semicolon < 0)
            return false;
        QStringView digits = s_.sliced(i_ + 2, semicolon - i_ - 2);
        int base = 10;
        if (digits.startsWith(u'x')) {
            base = 16;
            digits = digits.sliced(1);
        }
        const bool digits_only =
            !digits.isEmpty() && digits.size() <= 6 &&
            std::all_of(digits.begin(), digits.end(), [base](QChar c) {
                return (c >= u'0' && c <= u'9') ||
                       (base == 16 && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
            });
        bool ok = false;
        const uint code = digits_only ? digits.toUInt(&ok, base) : 0;
        // Only what XML allows as a character; a tab or line end in a value is left to Qt.
        const bool allowed =
            code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
            (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
        if (!ok || !allowed || (attribute && code < 0x20))
            return false;
        const char32_t character = code;
        out += QString::fromUcs4(&character, 1);
        i_ = semicolon + 1;
        return true;
    }

    bool close_text() {
        if (!take(u"</Text"))
            return false;
        skip_space();
        return take(u">");
    }

    QStringView s_;
    qsizetype i_ = 0;
};

}  // namespace

bool LanguageTexts::parse_text(const std::string& bytes, std::map<QString, QString>& out) {
    // Only valid UTF-8 goes to the scanner; Qt's reader gives its own answer for the rest.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError() && !text.startsWith(QChar(0xFEFF))) {
        if (auto texts = PlainTexts(text).parse()) {
            out = std::move(*texts);
            return true;
        }
    }
    return parse_xml(bytes, out);
}

bool LanguageTexts::parse_xml(const std::string& bytes, std::map<QString, QString>& out) {
    QXmlStreamReader xml(QByteArray::fromStdString(bytes));
    std::map<QString, QString> texts;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Text")
            continue;
        QString id = xml.attributes().value("id").toString();
        QString value = xml.readElementText();
        if (!id.isEmpty())
            texts[id] = value;
    }
    if (xml.hasError())
        return false;
    out = std::move(texts);
    return true;
}

bool LanguageTexts::parse(const std::filesystem::path& file, std::map<QString, QString>& out) {
    // The file is named by "Language.config": read it only if it is a regular file.
    std::string bytes;
    if (!read_whole_file(file, bytes))
        return false;
    return parse_text(bytes, out);
}

bool LanguageTexts::load_language(const QString& file) {
    return load_language_file(Resources::instance().resolve(file));
}

bool LanguageTexts::load_language_file(const std::filesystem::path& file) {
    std::map<QString, QString> texts;
    if (!parse(file, texts)) {
        debug_printf("language file %s cannot be read", file.string().c_str());
        return false;
    }
    std::lock_guard lock(mutex_);
    texts_ = std::move(texts);
    return true;
}

QString LanguageTexts::text(const QString& id) const {
    {
        std::lock_guard lock(mutex_);
        if (auto it = texts_.find(id); it != texts_.end())
            return it->second;
    }
    debug_printf("no text for id %s", id.toUtf8().constData());
    return id;
}

bool LanguageTexts::has(const QString& id) const {
    std::lock_guard lock(mutex_);
    return texts_.count(id) != 0;
}

}  // namespace velqa::platform::ui
