#pragma once

#include "AppFirmware.h"
#include "BoardOptions.h"
#include "Bootloader.h"
#include "PacedInput.h"
#include "PacedWriter.h"
#include "PtyLink.h"

// The board on its pseudo-terminal: one poll loop, no threads. Input is always
// served; output waits in the paced queue while nobody reads the line.
class VirtualBoard
{
public:
    explicit VirtualBoard(const BoardOptions& options);

    // Opens the line, prints its path as the first stdout line and serves until
    // SIGTERM/SIGINT or a hang-up. Returns the exit code.
    int run();

private:
    enum class Mode
    {
        Application,
        Bootloader,
    };

    void onInput(const std::string& bytes);
    void hangUp();

    BoardOptions m_options;
    PtyLink m_pty;
    PacedWriter m_out;
    PacedInput m_in;
    AppFirmware m_app;
    Bootloader m_bls;
    Mode m_mode = Mode::Application;
};
