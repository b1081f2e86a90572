#include "document/SiteRec.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

std::string IPToText(uint32_t ip) {
    const auto* b = reinterpret_cast<const unsigned char*>(&ip);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

uint32_t IPFromText(const std::string& text) { return inet_addr(text.c_str()); }

bool ParseDottedIP(const std::string& text, uint32_t& ip) {
    unsigned a[4];
    char tail;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a[0], &a[1], &a[2], &a[3], &tail) != 4) return false;
    for (char c : text)
        if (!(c == '.' || (c >= '0' && c <= '9'))) return false;
    unsigned char b[4];
    for (int i = 0; i < 4; ++i) {
        if (a[i] > 255) return false;
        b[i] = static_cast<unsigned char>(a[i]);
    }
    std::memcpy(&ip, b, 4);
    return true;
}
