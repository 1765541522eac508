#include "run_account.h"

#include "link/send_command.h"

void RunAccount::noteLinkError(LinkError::Cause cause, const std::string &text)
{
    if (!linkFault)
        linkFault = LinkFault { cause, text, portOpened };
}

void RunAccount::noteReception(const PausedReception &reception)
{
    reply = reception.reply;
    reads = reception.reads;
    receptionEnd = reception.end;
    pauseMs = reception.pauseMs;
    bytesWaiting = reception.bytesWaiting;
    sleptBeforeFirstReadMs = reception.waitedBeforeFirstReadMs;
}

void RunAccount::noteWalk(WalkEnd end, WalkRecorder &recorder)
{
    walkEnd = end;
    drewAny = recorder.drewInLastFrame();
    walk = recorder.take();
}

bool WalksUndrawnReply(const RunAccount &a)
{
    return !a.decoded && a.requested && a.receptionEnd == ReceptionEnd::LinkError && !a.reply.empty()
        && (a.test != TestKind::Direct || StartsWithAck(a.reply));
}
