// Stub: replaced by the Windows implementation.
#include "host/child_process.h"

namespace tarvelin {

std::optional<ChildProcess> ChildProcess::Start(const ChildSpec&) { return std::nullopt; }
ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : id_(other.id_),
      process_(std::move(other.process_)),
      ended_(other.ended_),
      exit_code_(other.exit_code_) {}
ChildProcess::~ChildProcess() = default;
bool ChildProcess::WaitFor(int) { return true; }
void ChildProcess::Kill() {}
files::Handle ChildProcess::Waitable() const { return process_.get(); }

}  // namespace tarvelin
