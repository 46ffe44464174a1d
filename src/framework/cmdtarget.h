#pragma once

#include "cmdui.h"

#include <functional>
#include <map>
#include <vector>

// An object that handles commands by identifier: the counterpart of a command
// table. Handlers are registered in the constructor of the derived class.
//
// OnCmdMsg with pCmdUI == nullptr carries the command out; with a CCmdUI it
// answers the update query instead (the update handler if there is one, else
// "enabled" when a command handler exists). Either way it returns whether this
// target took the command. Classes that route further (view -> document -> frame
// -> application) override OnCmdMsg and ask the next target when they did not.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    virtual bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI);

protected:
    void OnCommand(unsigned nID, std::function<void()> handler);
    void OnUpdateCommand(unsigned nID, std::function<void(CCmdUI*)> handler);
    void OnCommandRange(unsigned nFirst, unsigned nLast, std::function<void(unsigned)> handler);

private:
    std::map<unsigned, std::function<void()>> m_commands;
    std::map<unsigned, std::function<void(CCmdUI*)>> m_updates;
    struct Range {
        unsigned first;
        unsigned last;
        std::function<void(unsigned)> handler;
    };
    std::vector<Range> m_ranges;
};

// Carries out a command through a routing target after asking its update
// handler: a disabled command is dropped. Returns whether it ran.
bool AfxExecuteCommand(CCmdTarget* pTarget, unsigned nID);
