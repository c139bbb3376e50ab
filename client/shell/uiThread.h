// The running instance's one UI thread. Qt allows a single GUI thread per process, so
// this thread owns the QApplication for the whole life of the instance and runs its
// event loop: the tray icon lives on it, and the window library finds the application
// through qApp and queues its window work onto it.
#pragma once
#include <functional>
#include <thread>

class UiThread {
  public:
    // Starts the thread and returns once its QApplication has been constructed. On a
    // real display message boxes are shown with Qt from then on.
    UiThread();
    // Ends the event loop and joins the thread; the QApplication is destroyed on it.
    // Message boxes go back to the console first.
    ~UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    // Runs `work` on the UI thread and returns when it is done.
    void runAndWait(const std::function<void()>& work);

  private:
    std::thread thread;
};
