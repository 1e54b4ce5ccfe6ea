#pragma once

#include <QString>

// The program-wide strings, one instance for the whole program, empty when it starts.
struct AppState
{
    QString BasePath;    // tool-kit base directory, never with a trailing separator
    QString ProductDir;  // "/Kelvara": the product's directory below BasePath
    QString ProgramPath; // BasePath followed by ProductDir
    QString OdeEnv;      // value of "ode-TY" when Start_Path last ran
    QString CodeName;    // file name of the current code file; "ok" until one is chosen
    QString CodeDir;     // its directory, without a trailing separator
    QString CodePath;    // scratch full path
    QString RunMode;     // "demo" for a demo run, else empty
    QString DataName;    // data file chosen by Submit with Data file
    QString DataDir;
};
