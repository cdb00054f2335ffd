#include "BoardLog.h"
#include "BoardOptions.h"
#include "SampleCard.h"
#include "VirtualBoard.h"

#include <cstdio>

int main(int argc, char** argv)
{
    BoardOptions options;
    std::string error;
    if (!options.parse(argc, argv, error)) {
        BoardLog::line(error);
        std::fputs(BoardOptions::usage().c_str(), stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(BoardOptions::usage().c_str(), stdout);
        return 0;
    }
    if (!options.makeSampleCard.empty()) {
        if (!SampleCard::create(options.makeSampleCard, error)) {
            BoardLog::line(error);
            return 1;
        }
        return 0;
    }
    VirtualBoard board(options);
    return board.run();
}
