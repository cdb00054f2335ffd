#pragma once

#include <string_view>

// Diagnostics go to stderr only, and never block: a caller that does not read
// our stderr must not stall the board.
class BoardLog
{
public:
    static void line(std::string_view text);
};
