// The console interface: keys typed on the controlling terminal of the running instance
// pause and resume the queue, start and stop workers and the decoder, or end the
// program. One console at a time per process.
#pragma once

// With the model: starts the console thread unless one runs; returns its marker, or
// the argument when nothing was started. With null: nothing.
void* loadtui(void* model);
