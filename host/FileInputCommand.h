#pragma once
// The commands that read a file (or standard input) into the filter themselves: they
// open it before the module loads, hold back while the filter has a window's worth of
// their samples, and end the run once the input ended and all of it left the filter.
#include <atomic>
#include <string>

#include "host/InFlightWindow.h"
#include "host/InputFile.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"

class FileInputCommand : public StreamCommand {
protected:
    using StreamCommand::StreamCommand;

    bool Open(std::string* error) override { return input_.Open(in_, error); }
    bool Finished(const StreamSession& session) const override { return inputEnded_.load() && Drained(session); }
    std::string InputError() const override { return input_.Error(); }

    // Sets the filter's mode and counts the samples that leave it against the window.
    void Feed(StreamSession& session, uint32_t mode) {
        session.Control()->SetMode(mode, nullptr);
        session.Control()->SetDataCallback(&window_, &InFlightWindow::OnSampleOut);
    }

    std::string in_;
    InputFile input_;
    InFlightWindow window_;
    std::atomic<bool> inputEnded_{false};
};
