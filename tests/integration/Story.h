#pragma once

// A whole editor against the virtual pedal, in-process, on virtual time.
#include "ConsoleModel.h"
#include "Editor.h"
#include "Fakes.h"
#include "SimBridge.h"
#include "main.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

class Story : public ::testing::Test {
protected:
    void TearDown() override { qApp->setStyleSheet(QString()); }
    TformMain &start(sim::Config config = {})
    {
        editor.reset(); // before the bridge it uses
        bridge = std::make_unique<SimBridge>(fakes.clock, std::move(config));
        fakes.bridge = bridge.get();
        editor = std::make_unique<Editor>(fakes.services());
        return *editor->windows().formMain;
    }
    QString log() const { return editor->console().text(0, editor->console().lineCount()); }

    FakeServices fakes;
    std::unique_ptr<SimBridge> bridge;
    std::unique_ptr<Editor> editor; // declared last: goes first
};
