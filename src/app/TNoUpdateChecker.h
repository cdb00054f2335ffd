#pragma once

#include "app/IUpdateChecker.h"

// The checker until the update service exists: there is never a newer version.
class TNoUpdateChecker : public IUpdateChecker
{
public:
    Answer CheckForNewer() override { return {}; }
};
