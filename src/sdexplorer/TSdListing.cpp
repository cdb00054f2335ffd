#include "sdexplorer/TSdListing.h"

#include "app/Utils.h"

using namespace Qt::StringLiterals;

TSdListing::TLine TSdListing::Collect(const QString& S, const QByteArray& received)
{
    if (FromWire(received) == u"+DIR_LIST_END:"_s)
        return TLine::End;
    if (S.isEmpty() || S == u"+LIST:"_s)
        return TLine::Skipped;
    pending.append(S);
    return TLine::Collected;
}
