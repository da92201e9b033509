#include "desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

Openbox::Openbox(const std::string& display)
    : wm_("openbox", home_.path(),
          {{"DISPLAY", display}, {"HOME", home_.path()}, {"XDG_CONFIG_HOME", home_ / "config"},
           {"XDG_CACHE_HOME", home_ / "cache"}, {"XDG_DATA_HOME", home_ / "data"}})
{
    // It is ready once it has claimed the root window's
    // _NET_SUPPORTING_WM_CHECK.
    Display* x = XOpenDisplay(display.c_str());
    if (!x)
        throw std::runtime_error("cannot open display " + display);
    Atom check = XInternAtom(x, "_NET_SUPPORTING_WM_CHECK", False);
    double deadline = now_ms() + LOADED_WAIT_SECONDS * 1000;
    bool ready = false;
    while (!ready && now_ms() < deadline && wm_.running()) {
        Atom type;
        int format;
        unsigned long count, left;
        unsigned char* data = nullptr;
        XGetWindowProperty(x, DefaultRootWindow(x), check, 0, 1, False, XA_WINDOW, &type, &format,
                           &count, &left, &data);
        ready = count == 1;
        XFree(data);
        if (!ready)
            sleep_ms(20);
    }
    XCloseDisplay(x);
    if (!ready)
        throw std::runtime_error("openbox did not start: " + wm_.standard_error());
}

Desktop::Desktop(const std::string& display)
{
    display_ = XOpenDisplay(display.c_str());
    if (!display_)
        throw std::runtime_error("cannot open display " + display);
}

Desktop::~Desktop() { XCloseDisplay(display_); }

bool Desktop::viewable(Window window)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
}

bool Desktop::wait_viewable(Window window, bool wanted, double seconds)
{
    double deadline = now_ms() + seconds * 1000;
    while (viewable(window) != wanted && now_ms() < deadline)
        sleep_ms(20);
    return viewable(window) == wanted;
}

void Desktop::iconify(Window window)
{
    XIconifyWindow(display_, window, DefaultScreen(display_));
    XFlush(display_);
}

void Desktop::restore(Window window)
{
    XMapRaised(display_, window);
    XFlush(display_);
}

void Desktop::move_resize(Window window, int x, int y, int width, int height)
{
    XMoveResizeWindow(display_, window, x, y, width, height);
    XFlush(display_);
}

RgbImage Desktop::contents(Window window)
{
    XWindowAttributes attributes;
    XGetWindowAttributes(display_, window, &attributes);
    RgbImage image;
    XImage* pixels = XGetImage(display_, window, 0, 0, attributes.width, attributes.height,
                               AllPlanes, ZPixmap);
    if (!pixels)
        return image;
    image.width = attributes.width;
    image.height = attributes.height;
    for (int y = 0; y < image.height; y++)
        for (int x = 0; x < image.width; x++) {
            unsigned long pixel = XGetPixel(pixels, x, y);  // 24-bit TrueColor
            image.rgb.push_back((pixel >> 16) & 0xff);
            image.rgb.push_back((pixel >> 8) & 0xff);
            image.rgb.push_back(pixel & 0xff);
        }
    XDestroyImage(pixels);
    return image;
}

double cpu_seconds(int pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command name, which may hold spaces: state is
    // the 3rd field, utime and stime the 14th and 15th.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int n = 3; n <= 15 && fields >> field; n++)
        if (n >= 14)
            ticks += std::stol(field);
    return (double)ticks / sysconf(_SC_CLK_TCK);
}

// Mean brightness, 0 to 255, of a rectangle of the image.
static double mean(const RgbImage& image, int x0, int y0, int x1, int y1)
{
    double sum = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const unsigned char* p = &image.rgb[3 * (y * image.width + x)];
            sum += (p[0] + p[1] + p[2]) / 3.0;
        }
    return sum / ((double)(x1 - x0) * (y1 - y0));
}

std::string fill_fault(const RgbImage& image)
{
    if (image.width == 0)
        return "no picture";
    double scale = std::min(image.width / 640.0, image.height / 480.0);
    int width = (int)(640 * scale), height = (int)(480 * scale);
    int left = (image.width - width) / 2, top = (image.height - height) / 2;
    const int edge = 4;  // scaling may smear the picture's edge by a pixel or two
    struct Region {
        const char* name;
        int x0, y0, x1, y1;
    };
    std::vector<Region> bars;
    if (left > 2 * edge)
        bars = {{"bar on the left", 0, 0, left - edge, image.height},
                {"bar on the right", left + width + edge, 0, image.width, image.height}};
    if (top > 2 * edge)
        bars = {{"bar above", 0, 0, image.width, top - edge},
                {"bar below", 0, top + height + edge, image.width, image.height}};
    // Lit tissue in each quarter of the picture, and in the strips along
    // its four edges.
    int mid_x = left + width / 2, mid_y = top + height / 2;
    int strip = width / 20;
    Region tunnel[] = {
        {"top left", left, top, mid_x, mid_y},
        {"top right", mid_x, top, left + width, mid_y},
        {"bottom left", left, mid_y, mid_x, top + height},
        {"bottom right", mid_x, mid_y, left + width, top + height},
        {"left edge", left + edge, top, left + edge + strip, top + height},
        {"right edge", left + width - edge - strip, top, left + width - edge, top + height},
        {"top edge", left, top + edge, left + width, top + edge + strip},
        {"bottom edge", left, top + height - edge - strip, left + width, top + height - edge},
    };
    std::ostringstream fault;
    for (const Region& r : bars)
        if (double m = mean(image, r.x0, r.y0, r.x1, r.y1); m >= 3)
            fault << r.name << " not black (" << m << "); ";
    for (const Region& r : tunnel)
        if (double m = mean(image, r.x0, r.y0, r.x1, r.y1); m <= 30)
            fault << "no tunnel in the " << r.name << " (" << m << "); ";
    if (!fault.str().empty())
        fault << "picture expected at " << width << "x" << height << "+" << left << "+" << top
              << " in " << image.width << "x" << image.height;
    return fault.str();
}

RgbImage crop(const RgbImage& image, int left, int top, int width, int height)
{
    RgbImage part;
    if (image.width < left + width || image.height < top + height)
        return part;
    part.width = width;
    part.height = height;
    for (int y = top; y < top + height; y++) {
        auto row = image.rgb.begin() + 3 * (y * image.width + left);
        part.rgb.insert(part.rgb.end(), row, row + 3 * width);
    }
    return part;
}

std::string wait_until_filled(const std::function<RgbImage()>& look, double seconds)
{
    double deadline = now_ms() + seconds * 1000;
    std::string fault;
    while (!(fault = fill_fault(look())).empty() && now_ms() < deadline)
        sleep_ms(250);
    return fault;
}

TemporaryFolder folder_with_programs()
{
    namespace fs = std::filesystem;
    TemporaryFolder folder;
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
    for (const char* path : {VORNEL_LAYERED_PATH, VORNEL_SINGLE_PATH})
        fs::copy_file(path, folder / fs::path(path).filename().string());
    for (const char* name : {"organ.bmp", "veins.bmp"})
        fs::copy_file(std::string(VORNEL_DATA_DIR) + "/" + name, folder / name);
    return folder;
}
