#pragma once

#include "ConsoleModel.h"
#include "Editor.h"
#include "Fakes.h"
#include "PedalAnswers.h"
#include "RecordingFtd2xx.h"
#include "main.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

// An editor over the recording bridge; the "pedal" answers every request
// with `answer` while `answers` is true.
class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ft().onWrite = [this](const QByteArray &bytes) {
            if (bytes == QByteArray::fromHex("0200") && answers)
                ft().rx += answerText(answer);
        };
    }
    void TearDown() override { qApp->setStyleSheet(QString()); }
    RecordingFtd2xx &ft() { return *fakes.recorder; }
    TformMain &start(std::vector<RecordingFtd2xx::Device> devices = {{"THV001", "Tharnvik MK3"}})
    {
        ft().devices = std::move(devices);
        editor = std::make_unique<Editor>(fakes.services());
        return *editor->windows().formMain;
    }
    // Started and linked: the link's REQUEST has been answered.
    TformMain &linked()
    {
        TformMain &m = start();
        m.menuScanClick();
        ft().writes.clear();
        return m;
    }
    QString log() const { return editor->console().text(0, editor->console().lineCount()); }

    FakeServices fakes;
    std::unique_ptr<Editor> editor;
    std::vector<int> answer = pedalState();
    bool answers = true;
};
