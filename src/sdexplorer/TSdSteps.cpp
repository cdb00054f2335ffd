#include "sdexplorer/TSdSteps.h"

#include "app/TForm1.h"
#include "serial/TRvComPort.h"

using namespace Qt::StringLiterals;

TSdSteps::TSdSteps(TForm1& form) : FForm(form) {}

bool TSdSteps::HeaderStep(const QByteArray& D, const QString& S)
{
    // No download is started yet: the header goes on as an ordinary line.
    Q_UNUSED(D);
    Q_UNUSED(S);
    return false;
}

bool TSdSteps::DownloadRunning() const
{
    return false;
}

void TSdSteps::DataStep(QByteArray& D)
{
    Q_UNUSED(D);
}

QString TSdSteps::TerminalText(const QString& S) const
{
    return S;
}

void TSdSteps::EndStep() {}

void TSdSteps::ListStarted() {}

void TSdSteps::ListError() {}

void TSdSteps::ListingStep(const QString& S)
{
    // Without the explorer a listing has no tree to build: end it at its last line.
    if (S.trimmed() == u"+DIR_LIST_END:"_s)
        FForm.ListReading = false;
}

void TSdSteps::StopReceiving()
{
    FForm.RvComPort1->SendString(u"AT+RXBINSTOP\r"_s);
}

void TSdSteps::CloseDownloadFile() {}

void TSdSteps::OpenFileList() {}
