#include "ConsoleCaptureUi.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

void TConsoleCaptureUi::ShowError(const std::string& text)
{
    std::fprintf(stderr, "Error: %s\n", text.c_str());
    std::fflush(stderr);
}

void TConsoleCaptureUi::ShowInfo(const std::string& text)
{
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
}

void TConsoleCaptureUi::PostInfo(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(text);
}

void TConsoleCaptureUi::ProcessMessages()
{
    std::deque<std::string> pending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending.swap(posted_);
    }
    for (const std::string& text : pending)
        ShowInfo(text);
}

void TConsoleCaptureUi::EndProgram()
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}
