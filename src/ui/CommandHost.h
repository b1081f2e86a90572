// What runs the document's long commands for the views: the main window, which hands the work to
// the engine thread and gets the document back when it ended.
#pragma once

#include <functional>

class ICommandHost {
public:
    virtual ~ICommandHost() = default;
    // Runs `work` on the engine thread, the document's stop token set; then `after` on the
    // window's thread. False, and nothing run, while another command runs.
    virtual bool RunCommand(std::function<void()> work, std::function<void()> after = {}) = 0;
    // From the engine thread: `fn` runs on the window's thread, in order with the document's
    // reports made before it.
    virtual void PostToWindow(std::function<void()> fn) = 0;
};
