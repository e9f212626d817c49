// The background probe: whether the server answers on its HTTP port, and since when it runs.
#pragma once

#include <memory>

#include "panel/MainForm.h"

namespace tsm {

// One probe on a thread of its own. Nothing keeps a reference to it: the thread owns the object and frees it when
// the probe is done, and it holds the window only through the shared link, never the window object itself.
class TManualRunThread {
public:
  // Starts the probe at once and returns; the body sees Form only after construction is complete.
  static void Start(std::shared_ptr<TFormLink> form);

  const std::shared_ptr<TFormLink> Form;

private:
  explicit TManualRunThread(std::shared_ptr<TFormLink> form) : Form(std::move(form)) {}
  void Execute() const;
};

// The worker's body: resolve the port once, ask the server, and hand the result to the window synchronously.
void ProbeServer(TFormLink& form);

} // namespace tsm
