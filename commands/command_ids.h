// Command identifiers of the program.
#pragma once

namespace zx840 {

enum CommandId : int {
    kCmdFileNew = 57600,
    kCmdFileOpen = 57601,
    kCmdFileSaveAs = 57604,
    kCmdFilePrintSetup = 57606,
    kCmdFilePrint = 57607,
    kCmdFilePrintDirect = 57608,
    kCmdFilePrintPreview = 57609,
    kCmdAppExit = 57665,
    kCmdAppAbout = 57664,
    kCmdCommPass = 32771,
    kCmdCom1 = 32772,  // COM1 to COM8: 32772 to 32779
    kCmdCom8 = 32779,
    kCmdProductMark = 32782,
    kCmdNumberAddOne = 32783,
    kCmdBaud2400 = 32785,
    kCmdBaud9600 = 32786,
    kCmdContinuousStart = 32792,
    kCmdContinuousStop = 32793,
    kCmdPortDevices = 32800,    // the port map dialog, after the COM items
    kCmdTestPlan = 32801,       // the Test Plan dialog, after Product Mark
    kCmdResultsStore = 32802,   // where results are kept
    kCmdHistory = 32803,        // the History window of the kept results
    kCmdJudgeAgain = 32804,     // the measurement shown, judged again by today's plan
    kCmdRemoteControl = 32805,  // the station as an instrument on the network
    kCmdViewTrend = 32806,      // the Trend panel of the continuous test, shown or hidden
};

}  // namespace zx840
