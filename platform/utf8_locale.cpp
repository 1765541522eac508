#include "platform/utf8_locale.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include <langinfo.h>

namespace {

constexpr const char *kUtf8Locale = "C.UTF-8";

bool CharacterSetIsUtf8()
{
    const char *codeset = nl_langinfo(CODESET);
    return std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0;
}

} // namespace

void UseUtf8CharacterSet()
{
    // The same question Qt asks when its application object starts.
    const bool environmentLocale = std::setlocale(LC_ALL, "") != nullptr;
    const bool utf8 = environmentLocale && CharacterSetIsUtf8();
    std::setlocale(LC_ALL, "C"); // the process keeps its locale until Qt sets it
    if (utf8)
        return;
    if (!environmentLocale) {
        // The environment names a locale that is not installed, so the
        // process would run in "C" anyway: the same with UTF-8.
        ::setenv("LC_ALL", kUtf8Locale, 1);
        return;
    }
    // LC_ALL outranks LC_CTYPE: hand its value on to the other categories
    // one by one so that only the character set changes.
    if (const char *all = std::getenv("LC_ALL"); all != nullptr && *all != '\0') {
        const std::string value = all;
        for (const char *category : { "LC_COLLATE", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC", "LC_TIME", "LC_PAPER",
                                      "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION" })
            ::setenv(category, value.c_str(), 1);
        ::unsetenv("LC_ALL");
    }
    ::setenv("LC_CTYPE", kUtf8Locale, 1);
}
