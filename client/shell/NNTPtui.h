// The console interface: keys typed on the controlling terminal of the running instance
// pause and resume the queue, start and stop workers and the decoder, or end the
// program; the posts' stages after their download are shown there. One console at a
// time per process.
#pragma once
#include "NNTPmodel_iface.h"
#include "postStageMemory.h"

class NNTPtui;

// The command reader: turns one submitted line into a model command.
class NNTPtuic : public _observer {
  public:
    // Attaches to `model`; `screen` is the terminal whose line it clears (-1: none).
    NNTPtuic(NNTPmodel_iface* model, NNTPtui* view, int screen);
    ~NNTPtuic() override;
    NNTPtuic(const NNTPtuic&) = delete;
    NNTPtuic& operator=(const NNTPtuic&) = delete;

    // Sends the command `line` stands for, without waiting for the model. 1 to go on
    // reading, 0 to end the console ("q", "x").
    int handle(char* line);

  private:
    void send(unsigned cmd, unsigned argument);

    NNTPmodel_iface* model;
    NNTPtui* view;
    int screen;
};

// The console view: holds the command reader for one console and shows, of the
// model's state, the stage of the posts after their download (the model's other lines
// go to the log): at the start every post that has one, then each change of stage.
class NNTPtui : public _observer {
  public:
    NNTPtui(NNTPmodel_iface* model, int screen);
    ~NNTPtui() override;
    NNTPtui(const NNTPtui&) = delete;
    NNTPtui& operator=(const NNTPtui&) = delete;

    // Engine threads: a change of a post's stage is one line "name: stage"; a new
    // percent within a stage is not.
    void update(unsigned code, void* data) override;

    NNTPtuic reader;

  private:
    void listStages();

    NNTPmodel_iface* model;
    NNTPmodel_iface* queue;
    int screen;
    postStageMemory stages;
};

// With the model: starts the console thread unless one runs; returns its marker, or
// the argument when nothing was started. With null: nothing.
void* loadtui(void* model);

// The console thread: reads keys until Escape, a code 0, "q", "x" or the loss of the
// terminal. Without a usable terminal it logs why and ends at once. `model` is the
// model interface.
void NNTPtui_static(void* model);
