#pragma once

#include "AppState.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "Context.h"
#include "D2XXUnit.h"
#include "PedalSession.h"
#include "Fakes.h"
#include "PrintConsole.h"
#include "RecordingFtd2xx.h"

// The debug console window over the recording bridge, opened and ready:
// what its service commands send is in ft().writes.
struct ConsoleRig {
    ConsoleRig()
    {
        ft().devices = {{"THV001", "Tharnvik MK3"}};
        usb.Open_USB_Device_By_Serial_Number(QStringLiteral("THV001"));
        usb.FtErrorReporting = true;
        ft().writes.clear();
    }
    RecordingFtd2xx &ft() { return *fakes.recorder; }
    QString log() const { return model.text(0, model.lineCount()); }

    FakeServices fakes;
    AppState state;
    ConsoleModel model;
    D2XXUnit usb{*fakes.bridge, model};
    Communication comm{usb, model, fakes.clock, state};
    PedalSession session{usb, comm, model, fakes.clock, state};
    Context context{fakes.services(), state, model, session};
    TformPrint window{context};
};
