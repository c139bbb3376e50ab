// A program folder that downloads a served post into ./download, without the window.
#pragma once
#include "CorvaneInstance.h"
#include "ServedPost.h"
#include "ServerSections.h"

inline void downloadWithoutWindow(CorvaneInstance& corvane, const ServedPost& post) {
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    corvane.configure("DEFAULT", "downloadto", "./download");
    addNewsServer(corvane, "127.0.0.1", post.port(), 1, 1);
}
