// The server probe: whether the server answers on its HTTP port, and since when it runs. Its body runs on a worker
// thread of its own; only Start runs on the window's thread, to launch it.
#pragma once

#include <memory>

#include "panel/ProbeLink.h"

namespace tsm {

// One probe on a thread of its own. Nothing keeps a reference to it: the thread owns the object and frees it when
// the probe is done, and it holds the window only through the shared link, never the window object itself.
class TServerProbe {
public:
  // Starts the probe at once and returns; the body sees Link only after construction is complete.
  static void Start(std::shared_ptr<TFormLink> link);

  const std::shared_ptr<TFormLink> Link;

private:
  explicit TServerProbe(std::shared_ptr<TFormLink> link) : Link(std::move(link)) {}
  void Execute() const;
  // Resolves the port once, asks the server, and hands the result to the window synchronously.
  void Probe() const;
};

} // namespace tsm
