// What the tools' tests share: a program run to its end, and a private
// segment made the way any host would make it.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <sstream>
#include <stdexcept>

#include "ChildProcess.h"
#include "vxsoundmap.h"

// `args` are split at blanks; `env` adds NAME=VALUE entries.
inline TRunResult RunTool(const std::string& program, const std::string& args, const std::vector<std::string>& env = {})
{
    std::vector<std::string> argv{program};
    std::istringstream words(args);
    for (std::string w; words >> w;)
        argv.push_back(w);
    return RunToEnd(argv, env);
}

// A segment name of the running test's own.
inline std::string TestSegmentName()
{
    return "VXTOOLS_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// All zero, `size` bytes; removed with the object.
class TSegment {
public:
    explicit TSegment(std::string name, std::size_t size = VXSM_SIZE) : name_(std::move(name)), size_(size)
    {
        ::shm_unlink(("/" + name_).c_str());
        const int fd = ::shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0)
            throw std::runtime_error("cannot make the segment " + name_);
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (p == MAP_FAILED)
            throw std::runtime_error("cannot map the segment " + name_);
        bytes = static_cast<unsigned char*>(p);
    }
    ~TSegment()
    {
        ::munmap(bytes, size_);
        ::shm_unlink(("/" + name_).c_str());
    }

    unsigned char* bytes = nullptr;

private:
    std::string name_;
    std::size_t size_;
};
