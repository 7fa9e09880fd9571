#include "app/gate.h"

#include "platform/platform.h"
#include "platform/text.h"

namespace kestrana {

void checkSystemVersion() {
  if (systemVersionPasses(querySystemVersion().view())) return;
  showMessageBox("非常抱歉，您的系统版本过低！本工具至少要在Windows Vista及以上的版本才能运行！",
                 kMbOk | kMbIconError, "无法运行");
  endProgram(0);
}

}  // namespace kestrana
