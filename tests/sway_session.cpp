#include "sway_session.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

#include "desktop.h"

namespace fs = std::filesystem;

// The session's user: "nobody" when the tests run as root.
static bool as_nobody() { return geteuid() == 0; }

static void give_to_session_user(const std::string& path)
{
    if (!as_nobody())
        return;
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || chown(path.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
        throw std::runtime_error("cannot give " + path + " to nobody");
}

static std::string read_file(const std::string& path)
{
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

SwaySession::SwaySession() : folder_(folder_with_programs())
{
    give_to_session_user(folder());
    fs::create_directory(folder_ / "run");
    fs::permissions(folder_ / "run", fs::perms::owner_all);
    give_to_session_user(folder_ / "run");

    // No borders: a tiled or full-screen window is the whole output. Once
    // sway takes clients, its first command writes the session's names.
    std::string ready = folder_ / "session";
    std::ofstream(folder_ / "config")
        << "default_border none\n"
           "default_floating_border none\n"
           "xwayland enable\n"
           "exec sh -c 'printf \"%s\\n%s\\n%s\\n\" \"$WAYLAND_DISPLAY\" \"$DISPLAY\" \"$SWAYSOCK\""
           " > " << ready << ".new && mv " << ready << ".new " << ready << "'\n";
    std::vector<std::string> argv = as_session_user({"sway", "-c", folder_ / "config"});
    sway_ = std::make_unique<Program>(
        argv[0], folder(),
        std::map<std::string, std::string>{{"WLR_BACKENDS", "headless"},
                                           {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                           {"XDG_RUNTIME_DIR", folder_ / "run"},
                                           {"HOME", folder()},
                                           {"XDG_CONFIG_HOME", folder_ / "config.d"},
                                           {"WAYLAND_DISPLAY", "<unset>"},
                                           {"DISPLAY", "<unset>"}},
        std::vector<std::string>(argv.begin() + 1, argv.end()));
    sway_pid_ = sway_->pid();

    double deadline = now_ms() + 30000;
    while (!fs::exists(ready) && sway_->running() && now_ms() < deadline)
        sleep_ms(50);
    std::string names = read_file(ready);
    size_t first = names.find('\n'), second = names.find('\n', first + 1);
    if (second == std::string::npos || names.size() < 5)
        throw std::runtime_error("sway did not start: " + sway_->standard_error());
    wayland_display_ = names.substr(0, first);
    x_display_ = names.substr(first + 1, second - first - 1);
    ipc_socket_ = names.substr(second + 1, names.size() - second - 2);
}

SwaySession::~SwaySession()
{
    if (sway_->running()) {
        int xwayland = xwayland_pid();
        kill(sway_->pid(), SIGTERM);  // sway ends Xwayland and removes its files
        sway_->wait(10);
        sway_.reset();  // killed, if it would not end
        wait_until_gone(xwayland);
    }
    remove_x_lock();
}

// sway starts Xwayland when the first X client comes; it is no child of
// the test's. Found by its display, while sway still holds that.
int SwaySession::xwayland_pid() const
{
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::string args = read_file(entry.path() / "cmdline");
        std::string program = args.substr(0, args.find('\0'));
        if (fs::path(program).filename() == "Xwayland" &&
            args.find(std::string(1, '\0') + x_display_ + '\0') != std::string::npos)
            return std::stoi(entry.path().filename());
    }
    return 0;
}

// Xwayland ends by itself once sway has gone; it is given ten seconds.
void SwaySession::wait_until_gone(int pid)
{
    if (pid == 0)
        return;
    std::string stat_path = "/proc/" + std::to_string(pid) + "/stat";
    auto running = [&] {  // a zombie has ended, whoever reaps it
        std::string stat = read_file(stat_path);
        return !stat.empty() && stat.find(") Z") == std::string::npos;
    };
    double deadline = now_ms() + 10000;
    while (running() && now_ms() < deadline)
        sleep_ms(20);
    if (running())
        kill(pid, SIGKILL);
}

// Xwayland's socket and lock file are sway's to remove; after a crash they
// stay. Only this session's, which name sway's process in the lock.
void SwaySession::remove_x_lock()
{
    if (x_display_.empty())
        return;
    std::string number = x_display_.substr(1);
    std::string lock = "/tmp/.X" + number + "-lock";
    std::string owner = read_file(lock);
    if (owner.empty() || std::stoi(owner) != sway_pid_)
        return;
    fs::remove(lock);
    fs::remove("/tmp/.X11-unix/X" + number);
}

std::vector<std::string> SwaySession::as_session_user(const std::vector<std::string>& argv) const
{
    if (!as_nobody())
        return argv;
    // setpriv sets the parent-death signal again after changing user, which
    // clears it: a test that dies leaves nothing of the session running.
    std::vector<std::string> wrapped = {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                        "--clear-groups", "--pdeathsig=SIGKILL", "--"};
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    return wrapped;
}

std::map<std::string, std::string> SwaySession::environment() const
{
    std::map<std::string, std::string> env = {
        {"XDG_RUNTIME_DIR", folder_ / "run"}, {"HOME", folder()},
        {"WAYLAND_DISPLAY", wayland_display_}, {"DISPLAY", x_display_},
        {"SWAYSOCK", ipc_socket_}};
    // The sanitizer build's leak suppressions live in the source tree,
    // which the session's user may not be able to read: a copy in the
    // session's folder stands in.
    const char* lsan = getenv("LSAN_OPTIONS");
    std::string options = lsan ? lsan : "";
    size_t at = options.find("suppressions=");
    if (at != std::string::npos) {
        size_t start = at + strlen("suppressions="), end = options.find(':', start);
        std::string copy = folder_ / "lsan.supp";
        fs::copy_file(options.substr(start, end - start), copy, fs::copy_options::overwrite_existing);
        env["LSAN_OPTIONS"] = options.replace(start, end == std::string::npos ? end : end - start, copy);
    }
    return env;
}

std::unique_ptr<Program> SwaySession::start(const std::vector<std::string>& argv,
                                            const std::map<std::string, std::string>& env)
{
    std::map<std::string, std::string> all = environment();
    for (const auto& [name, value] : env)
        all[name] = value;
    std::vector<std::string> wrapped = as_session_user(argv);
    return std::make_unique<Program>(wrapped[0], folder(), all,
                                     std::vector<std::string>(wrapped.begin() + 1, wrapped.end()));
}

int SwaySession::run(const std::vector<std::string>& argv, std::string* output)
{
    // Standard output goes to a file in the session's folder, written as
    // its user.
    std::string out = folder_ / "tool-output";
    std::vector<std::string> command = {"sh", "-c", "exec \"$@\" > " + out, "sh"};
    command.insert(command.end(), argv.begin(), argv.end());
    std::unique_ptr<Program> tool = start(command);
    int status = tool->wait(60);
    if (output)
        *output = read_file(out);
    return status;
}

bool SwaySession::wait_for_windows(int count, double seconds)
{
    double deadline = now_ms() + seconds * 1000;
    std::string tree;
    do {
        int found = 0;
        if (run({"swaymsg", "-t", "get_tree"}, &tree) == 0)
            for (const char* key : {"\"app_id\": \"vornel", "\"class\": \"vornel"})
                for (size_t at = tree.find(key); at != std::string::npos; at = tree.find(key, at + 1))
                    found++;
        if (found >= count)
            return true;
        sleep_ms(100);
    } while (now_ms() < deadline);
    return false;
}

RgbImage SwaySession::screenshot()
{
    RgbImage image;
    std::string path = folder_ / "screenshot.png";
    if (run({"grim", path}) == 0)
        read_picture(path, image);
    return image;
}

void SwaySession::kill_compositor()
{
    int xwayland = xwayland_pid();
    kill(sway_pid_, SIGKILL);
    sway_->wait(10);
    wait_until_gone(xwayland);
}
