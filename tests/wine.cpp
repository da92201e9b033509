#include "wine.h"

#include <cstdlib>
#include <filesystem>

#include "program.h"
#include "xvfb.h"

namespace fs = std::filesystem;

const std::string WINE = "/usr/lib/wine/wine64";
const std::string WINESERVER = "/usr/lib/wine/wineserver64";

static const double BOOT_SECONDS = 300;  // a fresh prefix takes about 15 s

std::string WinePrefix::root_;

void WinePrefix::make()
{
    char pattern[] = "/tmp/vornel-wine-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    atexit(remove);  // also when something calls exit() mid-test
    use_private_display();
    setenv("WINEPREFIX", (root_ + "/prefix").c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    // No Mono or Gecko installer, no menu entries.
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
    // Wine makes desktop folders (menus, mime) under the home folder:
    // one of the stage's own.
    fs::create_directories(root_ + "/home");
    setenv("HOME", (root_ + "/home").c_str(), 1);
    // Debian's Wine keeps its server's socket folder in TMPDIR.
    fs::create_directories(root_ + "/tmp");
    setenv("TMPDIR", (root_ + "/tmp").c_str(), 1);
    for (const char* xdg : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        unsetenv(xdg);
}

void WinePrefix::boot()
{
    Program boot(WINE, root_, {}, {"wineboot", "--init"});
    ASSERT_EQ(boot.wait(BOOT_SECONDS), 0) << boot.standard_error();
}

bool WinePrefix::stop(double seconds)
{
    Program stop(WINESERVER, "/", {}, {"--kill"});
    stop.wait(seconds);
    return wait_until_idle(seconds);
}

bool WinePrefix::wait_until_idle(double seconds)
{
    Program gone(WINESERVER, "/", {}, {"--wait"});
    return gone.wait(seconds) == 0;
}

// Ends the prefix's Wine server and removes the folder; once.
void WinePrefix::remove()
{
    if (root_.empty())
        return;
    stop(30);
    fs::remove_all(root_);
    root_.clear();
}

int run_windows(const std::string& folder, const std::vector<std::string>& command, double seconds)
{
    Program run(WINE, folder, {}, command);
    return run.wait(seconds);
}
