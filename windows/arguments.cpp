#include "arguments.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

// A window's handle as Windows writes it: decimal, not 0.
static bool parse_handle(const std::string& text, uintptr_t& window)
{
    if (text.empty() || !std::isdigit((unsigned char)text[0]))
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value == 0 || value > UINTPTR_MAX)
        return false;
    window = (uintptr_t)value;
    return true;
}

SaverRequest read_arguments(int argc, char* argv[])
{
    SaverRequest request;
    if (argc < 2)
        return request;  // no argument: the settings
    const std::string usage = " (a screensaver takes /s, /p HWND or /c)";
    std::string first = argv[1];
    if (first.size() < 2 || (first[0] != '/' && first[0] != '-')) {
        request.error = "unknown argument " + first + usage;
        return request;
    }
    if (first.size() > 2 && first[2] != ':') {
        request.error = "unknown argument " + first + usage;
        return request;
    }
    // The handle follows a colon in the same argument, or is the next one.
    std::string handle;
    int used = 2;
    if (first.size() > 2)
        handle = first.substr(3);
    else if (argc > 2)
        handle = argv[used++];
    bool has_handle = parse_handle(handle, request.window);

    switch (std::tolower((unsigned char)first[1])) {
    case 's':
        request.mode = SaverRequest::SAVE;
        if (!handle.empty())
            request.error = "/s takes no window";
        break;
    case 'p':
        request.mode = SaverRequest::PREVIEW;
        if (!has_handle)
            request.error = "/p needs the preview window's handle, in decimal";
        break;
    case 'c':
        if (!handle.empty() && !has_handle)
            request.error = "/c takes an owner window's handle, in decimal, or nothing";
        break;
    default:
        request.error = "unknown argument " + first + usage;
    }
    if (request.error.empty() && used < argc)
        request.error = std::string("unexpected argument ") + argv[used] + usage;
    return request;
}
