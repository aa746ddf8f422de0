#include "run/run_texts.h"

#include "files/host_names.h"

namespace tarvelin {

std::string Credit() {
  const char* host = files::Separator() == '/' ? "Linux" : "Windows";
  return std::string("Windows Installer unpacker for ") + host +
         ", by the Tarvelin and Pandrel developers";
}

std::string InstructionLine() {
  return "  请把待提取文件的 MSI 源文件拖到下面对话框内！" + std::string(20, ' ') + kLabelCredit;
}

std::string LoadingText() { return "    正在载入你拖入的微软安装工具 MSI 源文件，请稍候……"; }

std::string ExtractionConfirmation(const std::string& name, const std::string& base) {
  return "        正在提取微软安装程序 “" + name + "” 中的文件到其子文件夹" + "“" + base + "_EXT" +
         "”" + "\n" + "中，当硬盘灯熄灭后再按下“确定”键！请稍候……";
}

std::string RegistryConfirmation(const std::string& name, const std::string& base) {
  return "        提取微软安装程序 “" + name + "” 注册信息到 “" + base + "_EXT" +
         files::Separator() + base + "_ext.reg" + "”，" + "\n" +
         "当硬盘灯熄灭后再按下“确定”键！请稍候……";
}

std::string MoreErrorLinesText(std::size_t count) {
  return "……（另有 " + std::to_string(count) + " 行 ERROR 未列出）";
}

}  // namespace tarvelin
