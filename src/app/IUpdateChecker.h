#pragma once

#include <QString>

// Asks whether a newer version of the program exists.
class IUpdateChecker
{
public:
    struct Answer
    {
        bool newer = false;
        QString version; // the newer version's text, when there is one
    };

    virtual ~IUpdateChecker() = default;
    // Runs on the main thread, once per run.
    virtual Answer CheckForNewer() = 0;
};
