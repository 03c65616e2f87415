// Compiled with the include path of veltro_core only. This must fail: the core never sees Qt.
#include <QtCore/QString>

int probe() { return QString().size(); }
