#include "screensaver.h"

#include <X11/Xlib.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "desktop.h"
#include "installation.h"

namespace fs = std::filesystem;

static bool as_nobody() { return geteuid() == 0; }

static std::string read_file(const std::string& path)
{
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The home, its files and the hack's launch list belong to the saver's
// user.
static void give_to_nobody(const std::string& path)
{
    const passwd* nobody = getpwnam("nobody");
    if (!nobody)
        throw std::runtime_error("no user nobody");
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path))
        if (lchown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            throw std::runtime_error("cannot give " + entry.path().string() + " to nobody");
    if (chown(path.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
        throw std::runtime_error("cannot give " + path + " to nobody");
}

XScreensaver::XScreensaver(const std::string& display, const std::string& hack,
                           const std::map<std::string, std::string>& hack_env)
    : display_(display)
{
    // A launcher in the home writes down each launch's process id, which
    // exec keeps for the hack.
    std::string launcher = home_ / "launch";
    std::ofstream script(launcher);
    script << "#!/bin/sh\necho $$ >> " << shell_quoted(home_ / "launches") << "\nexec env";
    for (const auto& [name, value] : hack_env)
        script << " " << shell_quoted(name + "=" + value);
    script << " " << shell_quoted(hack) << " \"$@\"\n";
    script.close();
    fs::permissions(launcher, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    std::ofstream(home_ / "launches").close();
    // Never on its own (an hour), one hack, no fading, no splash, no lock.
    // The hack runs at the tests' own priority: at xscreensaver's nice 10
    // a machine busy with other work gave it too little CPU to draw a
    // frame in half a minute.
    std::ofstream(home_ / ".xscreensaver") << "mode: one\n"
                                              "nice: 0\n"
                                              "selected: 0\n"
                                              "timeout: 1:00:00\n"
                                              "cycle: 0:00:00\n"
                                              "lock: False\n"
                                              "fade: False\n"
                                              "unfade: False\n"
                                              "splash: False\n"
                                              "dpmsEnabled: False\n"
                                              "programs: GL: " << launcher << " \\n\n";
    fs::create_directory(home_ / "run");
    fs::permissions(home_ / "run", fs::perms::owner_all);
    fs::permissions(home_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    std::vector<std::string> argv = {"xscreensaver", "-no-splash", "-verbose"};
    if (as_nobody()) {
        give_to_nobody(home_.path());
        // setpriv sets the parent-death signal again after changing user,
        // which clears it: a test that dies leaves no xscreensaver.
        argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                   "--clear-groups", "--pdeathsig=SIGKILL", "--"});
    }
    saver_ = std::make_unique<Program>(
        argv[0], home_.path(),
        std::map<std::string, std::string>{{"DISPLAY", display}, {"HOME", home_.path()},
                                           {"XDG_RUNTIME_DIR", home_ / "run"},
                                           {"XDG_CONFIG_HOME", home_ / "config"}},
        std::vector<std::string>(argv.begin() + 1, argv.end()));
    double deadline = now_ms() + 30000;
    while (command("-version") != 0) {
        if (!saver_->running() || now_ms() > deadline)
            throw std::runtime_error("xscreensaver did not start: " + saver_->standard_error());
        sleep_ms(100);
    }
}

XScreensaver::~XScreensaver()
{
    if (saver_->running()) {
        kill(saver_->pid(), SIGTERM);  // it ends its hacks as it goes
        saver_->wait(10);
    }
    saver_.reset();  // killed, if it would not end
    for (int pid : launches())
        if (!wait_until_ended(pid, 10))
            kill(pid, SIGKILL);
}

int XScreensaver::command(const std::string& argument)
{
    Program tool("xscreensaver-command", home_.path(), {{"DISPLAY", display_}}, {argument});
    return tool.wait(30);
}

bool XScreensaver::activate() { return command("-activate") == 0; }

bool XScreensaver::deactivate() { return command("-deactivate") == 0; }

std::vector<int> XScreensaver::launches()
{
    std::vector<int> pids;
    std::istringstream lines(read_file(home_ / "launches"));
    for (int pid; lines >> pid;)
        pids.push_back(pid);
    return pids;
}

int XScreensaver::wait_for_launch(double seconds)
{
    double deadline = now_ms() + seconds * 1000;
    while (launches().empty() && now_ms() < deadline)
        sleep_ms(50);
    return launches().empty() ? 0 : launches().front();
}

unsigned long given_window(int pid)
{
    std::string environment = read_file("/proc/" + std::to_string(pid) + "/environ");
    const std::string name = std::string(1, '\0') + "XSCREENSAVER_WINDOW=";
    size_t at = ('\0' + environment).find(name);
    return at == std::string::npos ? 0 : std::stoul(environment.substr(at + name.size() - 1), nullptr, 16);
}

bool process_ended(int pid)
{
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    return stat.empty() || stat.find(") Z") != std::string::npos;
}

bool wait_until_ended(int pid, double seconds)
{
    double deadline = now_ms() + seconds * 1000;
    while (!process_ended(pid) && now_ms() < deadline)
        sleep_ms(5);
    return process_ended(pid);
}

static Display* open_display(const std::string& display)
{
    Display* x = XOpenDisplay(display.c_str());
    if (!x)
        throw std::runtime_error("cannot open display " + display);
    return x;
}

PlainWindow::PlainWindow(const std::string& display, int width, int height, const std::string& name)
    : x_(open_display(display))
{
    window_ = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, width, height, 0, 0,
                                  BlackPixel(x_, DefaultScreen(x_)));
    XStoreName(x_, window_, name.c_str());
    XSelectInput(x_, window_, StructureNotifyMask);
    XMapWindow(x_, window_);
    for (XEvent event; XNextEvent(x_, &event), event.type != MapNotify;) {
    }
}

PlainWindow::~PlainWindow()
{
    destroy();
    XCloseDisplay(x_);
}

void PlainWindow::destroy()
{
    if (window_)
        XDestroyWindow(x_, window_);
    XSync(x_, False);
    window_ = 0;
}

unsigned long root_window(const std::string& display)
{
    Display* x = open_display(display);
    Window root = DefaultRootWindow(x);
    XCloseDisplay(x);
    return root;
}

RgbImage screen_contents(const std::string& display)
{
    return Desktop(display).contents(root_window(display));
}

double changed_share(const RgbImage& a, const RgbImage& b)
{
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty())
        return 1;
    size_t changed = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3)
        for (size_t c = i; c < i + 3; c++)
            if (std::abs(a.rgb[c] - b.rgb[c]) > 16) {
                changed++;
                break;
            }
    return (double)changed / (a.rgb.size() / 3);
}
