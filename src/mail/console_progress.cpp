#include "mail/console_progress.h"

#include <iostream>

namespace edi::mail {

ConsoleProgress::ConsoleProgress() : ConsoleProgress(std::cout, std::cerr) {}

ConsoleProgress::ConsoleProgress(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

void ConsoleProgress::Open() { out_ << "  メール送受信中・・・" << std::endl; }

void ConsoleProgress::AddLine(const std::string& line) { out_ << "    " << line << std::endl; }

void ConsoleProgress::ShowError(const std::string& text) { err_ << "メール送受信: " << text << std::endl; }

void ConsoleProgress::Close() {}

}  // namespace edi::mail
