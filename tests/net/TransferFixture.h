#pragma once

// A sandboxed application with an event-loop owner thread (the test thread), one
// task whose working folder is a folder of the sandbox, and a list of slots. The
// test thread plays both the window thread and the dispatcher: it calls Fetch,
// pumps the owner loop until the slot's transfer has ended, and reaps it.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "net/HXSockets.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx::test
{

using namespace std::chrono_literals;

class TTransferTest : public THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        app->SetOwner(&owner);
        task = std::make_unique<THXTask>(*app);
        task->Name = "Transfers";
        task->FileName = app->TasksFolder() + "General/Transfers.hxt";
        task->IntranetMode = true;
        task->Destination = Home().Folder() + "site/";
        slots = std::make_unique<THXSlotList>();
        slots->OnMessage = [this](const std::string& message, bool beep)
        {
            messages.push_back(message);
            beeps += beep ? 1 : 0;
        };
        slots->SetSlotCount(1, false);
    }

    void TearDown() override
    {
        slots.reset();
        task.reset();
        app->SetOwner(nullptr);
        app.reset();
        THXSandboxTest::TearDown();
    }

    THXQItem* AddItem(const std::string& url, int mode = kModeDownload, const std::string& statusText = {},
                      const std::string& lastModified = {}, std::int64_t size = 0)
    {
        THXQItem item;
        item.URL = url;
        item.Group = "HTML";
        item.Mode = mode;
        item.Level = 1;
        item.StatusText = statusText;
        item.LastModified = lastModified;
        item.Size = size;
        return task->AddItem(std::move(item));
    }

    THXSocket& Slot(int index = 0) { return *slots->Slot(index); }

    // Pumps the owner loop until the slot's transfer has ended; false on time-out.
    bool RunToEnd(THXSocket& slot, std::chrono::milliseconds limit = 15s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!slot.TransferEnded())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            owner.ProcessPending(5ms);
        }
        owner.ProcessPending();
        return true;
    }

    // What the dispatcher does once a transfer has ended, minus the counters.
    void Reap(THXSocket& slot)
    {
        slot.RefreshShown();
        slot.Connection().SetState(TqkHTTPState::hsIdle);
        slot.Connection().ReleaseThread();
        task->ReloadItem(*slot.Item());
    }

    // Fetch, wait, reap: the item reloaded from its record.
    bool FetchToEnd(THXQItem& item, THXSocket* slot = nullptr)
    {
        THXSocket& used = slot != nullptr ? *slot : Slot();
        used.Fetch(item);
        const bool ended = RunToEnd(used);
        if (ended)
            Reap(used);
        return ended;
    }

    // Pumps the owner loop until the condition holds; false on time-out.
    template <typename Condition>
    bool PumpUntil(Condition condition, std::chrono::milliseconds limit = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            owner.ProcessPending(2ms);
        }
        return true;
    }

    std::string LocalPath(const std::string& url) const
    {
        return LocalFileName(task->WorkingFolder(), DirectoryURL(url), url);
    }

    THXEventLoopOwner owner;
    std::unique_ptr<THXApp> app;
    std::unique_ptr<THXTask> task;
    std::unique_ptr<THXSlotList> slots;
    std::vector<std::string> messages;
    int beeps = 0;
};

// A handler answering HEAD and GET of one target separately; anything else is 404.
inline TRequestHandler HeadAndGet(const std::string& target, TReply head, TReply get)
{
    return [target, head, get](const TRecordedRequest& request)
    {
        if (request.Target != target)
            return TReply::Text(404, "not found");
        return request.Method == "HEAD" ? head : get;
    };
}

// "METHOD target" of every request, in order.
inline std::vector<std::string> RequestLines(const THXTestServer& server)
{
    std::vector<std::string> lines;
    for (const auto& request : server.Requests())
        lines.push_back(request.Method + " " + request.Target);
    return lines;
}

} // namespace hx::test
