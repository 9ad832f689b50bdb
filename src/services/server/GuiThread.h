#pragma once

namespace Services {

// True on the thread of the application object; false on every thread while there is none.
// Qt 6.4 has no QThread::isMainThread, and a thread that merely started first is not the GUI
// thread for our purposes: what matters is whose event loop serves the application object.
bool isGuiThread();

} // namespace Services
