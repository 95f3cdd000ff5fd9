#pragma once

#include "tavlo/folders.h"
#include "tavlosim/simlab.h"
#include "testutil.h"

#include <QElapsedTimer>

#include <map>
#include <memory>

// A device that answers CR-terminated lines from a table (or every input, for binary
// replies) and can send bytes of its own.
class TScriptDevice : public TSimDevice {
public:
    QString Describe() const override { return QStringLiteral("scripted test device"); }
    void Receive(TSimLine& line, const QByteArray& bytes) override {
        Raw += bytes;
        if (!BinaryReply.isEmpty()) {
            line.Reply(BinaryReply, Delay);
            return;
        }
        FLine += bytes;
        qsizetype cr;
        while ((cr = FLine.indexOf('\r')) >= 0) {
            const QByteArray text = FLine.left(cr);
            FLine.remove(0, cr + 1);
            Lines.append(text);
            const auto it = Replies.find(text);
            if (it != Replies.end())
                line.Reply(it->second, Delay);
        }
    }
    void Tick(TSimLine& line) override {
        if (!Unsolicited.isEmpty()) {
            line.Reply(Unsolicited);
            Unsolicited.clear();
        }
    }
    int LatencyMs() const override { return 1; }

    std::map<QByteArray, QByteArray> Replies;
    QByteArray BinaryReply;
    int Delay = 0;
    QByteArray Unsolicited;
    QByteArray Raw;
    QList<QByteArray> Lines;

private:
    QByteArray FLine;
};

// A running lab and a data folder whose port map names the lab's ports.
class TSimFixture {
public:
    TSimFixture() {
        SetDataFolder(Folder.Path());
        Lab.Start();
    }
    ~TSimFixture() { Lab.Stop(); }

    QString Serve(const QString& name, std::shared_ptr<TSimDevice> device) {
        const QString path = Lab.AddSerialDevice(name, std::move(device));
        Lab.WritePortMap(Folder.Path());
        return path;
    }

    TTestFolder Folder;
    TSimLab Lab;
};

inline qint64 ElapsedMs(const QElapsedTimer& t) { return t.elapsed(); }
