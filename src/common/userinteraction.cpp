#include "tavlo/userinteraction.h"

#include <atomic>

namespace {
std::atomic<IUserInteraction*> GInstalled{nullptr};

IUserInteraction& DefaultInteraction() {
    static THeadlessUserInteraction headless;
    return headless;
}

void SetPanel(QStringList& panels, int panel, const QString& text) {
    if (panel < 0)
        return;
    while (panels.size() <= panel)
        panels.append(QString());
    panels[panel] = text;
}

QString GetPanel(const QStringList& panels, int panel) {
    return panel >= 0 && panel < panels.size() ? panels.at(panel) : QString();
}
} // namespace

IUserInteraction& UserInteraction() {
    IUserInteraction* ui = GInstalled.load();
    return ui ? *ui : DefaultInteraction();
}

void SetUserInteraction(IUserInteraction* ui) { GInstalled.store(ui); }

THeadlessUserInteraction::THeadlessUserInteraction(bool interactive, FILE* out, FILE* in)
    : FInteractive(interactive), FOut(out), FIn(in) {}

void THeadlessUserInteraction::ShowMessage(const QString& text) {
    std::lock_guard lock(FMutex);
    std::fprintf(FOut, "%s\n", text.toLocal8Bit().constData());
    std::fflush(FOut);
}

bool THeadlessUserInteraction::AskYesNo(const QString& text) {
    std::lock_guard lock(FMutex);
    std::fprintf(FOut, "%s\n", text.toLocal8Bit().constData());
    if (!FInteractive || !FIn) {
        std::fprintf(FOut, "[Yes/No] No (not interactive)\n");
        std::fflush(FOut);
        return false;
    }
    std::fprintf(FOut, "[y/N] ");
    std::fflush(FOut);
    char line[64];
    if (!std::fgets(line, sizeof line, FIn))
        return false;
    return line[0] == 'y' || line[0] == 'Y';
}

bool THeadlessUserInteraction::InputQuery(const QString& title, const QString& prompt,
                                          QString& value) {
    std::lock_guard lock(FMutex);
    std::fprintf(FOut, "%s: %s\n", title.toLocal8Bit().constData(), prompt.toLocal8Bit().constData());
    if (!FInteractive || !FIn) {
        std::fprintf(FOut, "[input] cancelled (not interactive)\n");
        std::fflush(FOut);
        return false;
    }
    std::fprintf(FOut, "[%s] ", value.toLocal8Bit().constData());
    std::fflush(FOut);
    char line[256];
    if (!std::fgets(line, sizeof line, FIn))
        return false;
    const QString answer = QString::fromLocal8Bit(line).trimmed();
    if (!answer.isEmpty())
        value = answer;
    return true;
}

void THeadlessUserInteraction::SetStatusText(int panel, const QString& text) {
    std::lock_guard lock(FMutex);
    SetPanel(FStatus, panel, text);
    if (FVerboseStatus && !text.isEmpty()) {
        std::fprintf(FOut, "[status %d] %s\n", panel, text.toLocal8Bit().constData());
        std::fflush(FOut);
    }
}

QString THeadlessUserInteraction::StatusText(int panel) const {
    std::lock_guard lock(FMutex);
    return GetPanel(FStatus, panel);
}

void THeadlessUserInteraction::SetBusy(bool busy) {
    std::lock_guard lock(FMutex);
    FBusy += busy ? 1 : -1;
}

void TRecordingUserInteraction::ShowMessage(const QString& text) {
    std::lock_guard lock(FMutex);
    FMessages.append(text);
}

bool TRecordingUserInteraction::AskYesNo(const QString& text) {
    std::lock_guard lock(FMutex);
    FQuestions.append(text);
    if (FAnswers.empty())
        return false;
    const bool answer = FAnswers.front();
    FAnswers.pop_front();
    return answer;
}

bool TRecordingUserInteraction::InputQuery(const QString& title, const QString& prompt,
                                           QString& value) {
    std::lock_guard lock(FMutex);
    FInputs.append(title + QStringLiteral(": ") + prompt);
    if (FInputAnswers.empty())
        return false;
    value = FInputAnswers.front();
    FInputAnswers.pop_front();
    return true;
}

void TRecordingUserInteraction::SetStatusText(int panel, const QString& text) {
    std::lock_guard lock(FMutex);
    SetPanel(FStatus, panel, text);
    if (panel == 0)
        FStatusHistory.append(text);
}

QString TRecordingUserInteraction::StatusText(int panel) const {
    std::lock_guard lock(FMutex);
    return GetPanel(FStatus, panel);
}

void TRecordingUserInteraction::SetBusy(bool busy) {
    std::lock_guard lock(FMutex);
    FBusy += busy ? 1 : -1;
    if (FBusy > FMaxBusy)
        FMaxBusy = FBusy;
}

void TRecordingUserInteraction::QueueAnswer(bool yes) {
    std::lock_guard lock(FMutex);
    FAnswers.push_back(yes);
}

void TRecordingUserInteraction::QueueInput(const QString& text) {
    std::lock_guard lock(FMutex);
    FInputAnswers.push_back(text);
}

QStringList TRecordingUserInteraction::Inputs() const {
    std::lock_guard lock(FMutex);
    return FInputs;
}

QStringList TRecordingUserInteraction::Messages() const {
    std::lock_guard lock(FMutex);
    return FMessages;
}

QStringList TRecordingUserInteraction::Questions() const {
    std::lock_guard lock(FMutex);
    return FQuestions;
}

QStringList TRecordingUserInteraction::StatusHistory() const {
    std::lock_guard lock(FMutex);
    return FStatusHistory;
}

int TRecordingUserInteraction::BusyDepth() const {
    std::lock_guard lock(FMutex);
    return FBusy;
}

int TRecordingUserInteraction::MaxBusyDepth() const {
    std::lock_guard lock(FMutex);
    return FMaxBusy;
}

TUserInteractionScope::TUserInteractionScope(IUserInteraction& ui)
    : FPrevious(GInstalled.load()) {
    SetUserInteraction(&ui);
}

TUserInteractionScope::~TUserInteractionScope() { SetUserInteraction(FPrevious); }
