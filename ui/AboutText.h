// The About text's layout: six lines made of an effect's name, version, description, maker and web address.
#pragma once

#include <cstddef>

// The values the text is made of, in the order the format uses them.
struct AboutValues {
    const char* name;
    const char* version;
    const char* description;
    const char* maker;
    const char* web_address;
    int year;
};

// Six lines separated by "\r" (no trailing break): name and version, description, an empty line, the
// maker's credit, the web address, the rights line. At most capacity - 1 characters and a terminating
// zero are written; a longer text is cut. Nothing is written when buffer is null or capacity is 0.
void FormatAboutText(char* buffer, std::size_t capacity, const AboutValues& values);
