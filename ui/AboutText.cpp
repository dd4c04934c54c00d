// The About text.
#include "AboutText.h"

#include <cstdio>

void FormatAboutText(char* buffer, std::size_t capacity, const AboutValues& values)
{
    if (!buffer || capacity == 0) {
        return;
    }
    // "\r" is the host's line break in message boxes.
    std::snprintf(buffer, capacity, "%s %s\r%s\r\rCreated by %s\r%s\rCopyright (C) %d %s", values.name,
                  values.version, values.description, values.maker, values.web_address, values.year,
                  values.maker);
}
