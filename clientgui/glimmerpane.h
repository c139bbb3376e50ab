// The two entries corvane finds by name in libglimmerpane.so.
//
// The window lives on the process's one UI thread (the thread of the QApplication;
// when the host has none, the library starts one of its own). `initialize` queues the
// opening, or the bringing back, of the main window there and returns at once.
// `terminate` asks the window to close and waits at most 2000 ms for it to be gone.
#pragma once

extern "C" {
// `model` is the download model's NNTPmodel_iface*. Returns 1, or 0 without model.
int initialize(void* model);
// The argument is ignored. Returns 0.
int terminate(void* unused);
}
