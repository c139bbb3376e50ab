// The words views show for a post's post-processing stage.
#pragma once
#include "NNTPmodel_iface.h"

#include <string>

// Empty for ppNone: the view shows the download progress instead.
inline std::string postStageText(const tpost& post) {
    const std::string percent = std::to_string(post.ppPercent) + " %";
    const std::string note = post.ppNote[0] ? std::string(" (") + post.ppNote + ")" : "";
    switch (post.ppStage) {
    case ppWaiting: return "waiting" + note;
    case ppFetchingPar2: return "downloading " + percent;
    case ppVerifying: return "verifying";
    case ppRepairing: return "repairing " + percent;
    case ppUnpacking: return "unpacking " + percent + note;
    case ppDone: return "done" + note;
    case ppFailed: return std::string("failed: ") + post.ppNote;
    default: return "";
    }
}
