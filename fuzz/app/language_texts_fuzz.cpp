// Language files: any bytes read through the quick scanner give exactly what Qt's XML reader
// gives (the same answer and the same texts, the map untouched on failure), never a crash.
#include <cstdlib>
#include <map>
#include <string>

#include "platform/ui/language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    using Texts = std::map<QString, QString>;
    Texts quick{{QStringLiteral("old"), QStringLiteral("kept")}};
    Texts qt = quick;
    const bool quick_ok = velqa::platform::ui::LanguageTexts::parse_text(bytes, quick);
    const bool qt_ok = velqa::platform::ui::LanguageTexts::parse_xml(bytes, qt);
    if (quick_ok != qt_ok || quick != qt)
        std::abort();
    return 0;
}
