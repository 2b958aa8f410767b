#include "core/HXHandOver.h"

#include "core/HXOwner.h"
#include "core/HXOwnerCall.h"

namespace hx
{

bool THXHandOver::Run(THXOwnerThread& owner, const TCurrent& current, const std::function<void()>& fn)
{
    auto call = std::make_shared<THXOwnerCall>(fn, &current);
    // On the owner thread the call runs (or not) at once: there is no wait to wake.
    if (owner.IsOwnerThread())
        return THXOwnerCall::Hand(owner, call);
    {
        std::lock_guard lock(m_mutex);
        m_pending = call;
    }
    struct TForget
    {
        THXHandOver& handOver;
        ~TForget()
        {
            std::lock_guard lock(handOver.m_mutex);
            handOver.m_pending.reset();
        }
    } forget{*this};
    return THXOwnerCall::Hand(owner, call);
}

void THXHandOver::Wake()
{
    std::shared_ptr<THXOwnerCall> call;
    {
        std::lock_guard lock(m_mutex);
        call = m_pending;
    }
    if (call)
        call->Wake();
}

} // namespace hx
