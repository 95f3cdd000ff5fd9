#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <deque>
#include <mutex>

// How core code talks to the user. Core code never opens a dialog: the GUI implements this
// with real dialogs, the headless runner with the terminal.
class IUserInteraction {
public:
    virtual ~IUserInteraction() = default;
    // An information box.
    virtual void ShowMessage(const QString& text) = 0;
    // A Yes/No question whose default is No; No changes nothing.
    virtual bool AskYesNo(const QString& text) = 0;
    // An input box with a title and a prompt; value holds the proposed text and receives
    // the answer. False when the user cancels (or nobody can answer).
    virtual bool InputQuery(const QString& title, const QString& prompt, QString& value) {
        (void)title;
        (void)prompt;
        (void)value;
        return false;
    }
    // The text of a status panel (panel 0 is the progress text of long operations).
    virtual void SetStatusText(int panel, const QString& text) = 0;
    virtual QString StatusText(int panel) const = 0;
    // The hourglass cursor; calls nest.
    virtual void SetBusy(bool busy) = 0;
};

// The process-wide implementation; a headless one until the program installs its own.
IUserInteraction& UserInteraction();
// Installs an implementation (not owned); nullptr restores the headless default.
void SetUserInteraction(IUserInteraction* ui);

// Terminal implementation: messages go to the error stream; questions are asked on the
// terminal when interactive, otherwise answered with the default No.
class THeadlessUserInteraction : public IUserInteraction {
public:
    explicit THeadlessUserInteraction(bool interactive = false, FILE* out = stderr,
                                      FILE* in = stdin);
    void ShowMessage(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    // Asked on the terminal when interactive, otherwise cancelled.
    bool InputQuery(const QString& title, const QString& prompt, QString& value) override;
    void SetStatusText(int panel, const QString& text) override;
    QString StatusText(int panel) const override;
    void SetBusy(bool busy) override;
    void SetVerboseStatus(bool verbose) { FVerboseStatus = verbose; }

private:
    mutable std::mutex FMutex;
    bool FInteractive;
    bool FVerboseStatus = false;
    FILE* FOut;
    FILE* FIn;
    QStringList FStatus;
    int FBusy = 0;
};

// Records everything and answers questions from a queue (default No); for tests and for
// callers that must decide answers in advance.
class TRecordingUserInteraction : public IUserInteraction {
public:
    void ShowMessage(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    // Answered from the queue of texts; cancelled when it is empty.
    bool InputQuery(const QString& title, const QString& prompt, QString& value) override;
    void SetStatusText(int panel, const QString& text) override;
    QString StatusText(int panel) const override;
    void SetBusy(bool busy) override;

    void QueueAnswer(bool yes);
    void QueueInput(const QString& text);
    QStringList Messages() const;
    QStringList Questions() const;
    QStringList Inputs() const; // title + ": " + prompt of every input box
    QStringList StatusHistory() const; // every text given to panel 0
    int BusyDepth() const;
    int MaxBusyDepth() const;

private:
    mutable std::mutex FMutex;
    QStringList FMessages, FQuestions, FInputs, FStatusHistory, FStatus;
    std::deque<bool> FAnswers;
    std::deque<QString> FInputAnswers;
    int FBusy = 0;
    int FMaxBusy = 0;
};

// Installs an implementation for the lifetime of the scope.
class TUserInteractionScope {
public:
    explicit TUserInteractionScope(IUserInteraction& ui);
    ~TUserInteractionScope();
    TUserInteractionScope(const TUserInteractionScope&) = delete;
    TUserInteractionScope& operator=(const TUserInteractionScope&) = delete;

private:
    IUserInteraction* FPrevious;
};

// The hourglass cursor for the lifetime of the scope.
class TBusyCursor {
public:
    TBusyCursor() { UserInteraction().SetBusy(true); }
    ~TBusyCursor() { UserInteraction().SetBusy(false); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
