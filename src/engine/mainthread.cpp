#include "tavlo/mainthread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

void RunInMainThread(const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(app, [&work] { work(); }, Qt::BlockingQueuedConnection);
}
