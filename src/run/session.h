// The run's options and answers. Written by the command line (the options, the /L path and the
// flags that say an argument did not fit) and by the run sequence (ConfirmAnswer, RemovalDone);
// only the run layer reads them. Zero at the start: a run sets each one before it reads it.
#pragma once
#include <windows.h>
#include "data/path_buffer.h"

struct SessionState {
    int Quiet;          // /Q, /S or /X: no confirmation, no progress window, no final notice
    int OptionS;        // /S: no finish page, no self-removal
    int OptionX;        // /X: as /S, and no pre-removal command unless /S is given too
    int ConfirmAnswer;  // answer of the confirmation; self-removal only after IDOK
    // The last /D argument did not fit its buffer: what the buffer holds then names some other
    // file, which the removal helper must not delete.
    bool RemovalPathCut;
    // The same for the last /L argument: a log under a cut name would write some other file.
    bool LogPathCut;
    // The run got past the last removal pass: only such a run is complete.
    bool RemovalDone;
    WCHAR LogPath[kPathCapacity];  // the path given with /L or /LOG=; empty without one
};
extern SessionState Session;
