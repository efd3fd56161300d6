#include "german_locale_support.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <locale>
#include <stdexcept>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// glibc keeps (and never frees) a copy of LOCPATH when it loads a locale from there.
struct LeakCheckPause {
    LeakCheckPause() { __lsan_disable(); }
    ~LeakCheckPause() { __lsan_enable(); }
};
#else
struct LeakCheckPause {
    LeakCheckPause() {}
    ~LeakCheckPause() {}
};
#endif

GermanNumbers::GermanNumbers() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "de_DE.ISO-8859-1"})
        if (Use(name)) return;
    if (std::system("command -v localedef >/dev/null 2>&1") != 0) return;
    std::string command =
        "localedef -i de_DE -f UTF-8 '" + m_dir.File("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 && !std::filesystem::exists(m_dir.File("de_DE.UTF-8")))
        return;
    setenv("LOCPATH", m_dir.Path().c_str(), 1);
    Use("de_DE.UTF-8");
}

GermanNumbers::~GermanNumbers() {
    LeakCheckPause pause;
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}

bool GermanNumbers::Use(const char* name) {
    LeakCheckPause pause;
    try {
        std::locale::global(std::locale(name));  // sets the C locale as well
    } catch (const std::runtime_error&) {
        return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    m_active = std::strcmp(text, "0,5") == 0;
    return m_active;
}
