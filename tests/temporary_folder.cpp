#include "temporary_folder.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

TemporaryFolder::TemporaryFolder()
{
    char pattern[] = "/tmp/vornel-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::TemporaryFolder(TemporaryFolder&& other) noexcept : path_(std::move(other.path_))
{
    other.path_.clear();
}

TemporaryFolder::~TemporaryFolder()
{
    if (!path_.empty()) {
        std::error_code ignored;  // a destructor cannot throw; best effort
        std::filesystem::remove_all(path_, ignored);
    }
}
