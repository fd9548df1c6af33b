#include "shell/stderr_panel.h"

namespace norvex {
namespace {

const char* const kColumnNames[] = {"devid", "status", "iccid", "imei"};

std::string JoinCells(const std::vector<std::string>& cells) {
    std::string s;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) s += ' ';
        s += i < 4 ? kColumnNames[i] : "?";
        s += '=';
        s += OneLine(cells[i]);
    }
    return s;
}

}  // namespace

std::string OneLine(const std::string& text) {
    std::string s;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            s += ' ';
        } else {
            s += c;
        }
    }
    return s;
}

void StderrPanel::Line(const std::string& text) {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void StderrPanel::SetStartButton(const std::string& text, bool enabled) {
    std::lock_guard lock(mutex_);
    buttonText_ = text;
    Line("button: " + OneLine(text) + (enabled ? "" : " (disabled)"));
}

void StderrPanel::EnableChoosers(bool) {}

void StderrPanel::ClearRelayRows() {
    std::lock_guard lock(mutex_);
    rows_.clear();
    Line("relays: cleared");
}

void StderrPanel::AddRelayRow(const std::vector<std::string>& cells) {
    std::lock_guard lock(mutex_);
    rows_.push_back(cells);
    Line("relay " + std::to_string(rows_.size() - 1) + ": " + JoinCells(cells));
}

void StderrPanel::SetRelayCell(int row, RelayColumn col, const std::string& text) {
    int column = static_cast<int>(col);
    std::lock_guard lock(mutex_);
    if (row < 0 || column < 0 || static_cast<size_t>(row) >= rows_.size()) return;
    auto& cells = rows_[static_cast<size_t>(row)];
    if (static_cast<size_t>(column) >= cells.size()) cells.resize(static_cast<size_t>(column) + 1);
    if (cells[static_cast<size_t>(column)] == text) return;
    cells[static_cast<size_t>(column)] = text;
    const char* name = column < 4 ? kColumnNames[column] : "?";
    Line("relay " + std::to_string(row) + ": " + name + "=" + OneLine(text));
}

void StderrPanel::ShowMessage(const std::string& caption, const std::string& text) {
    std::lock_guard lock(mutex_);
    Line("message: " + OneLine(caption) + ": " + OneLine(text));
}

void StderrPanel::ShowNotice(const std::string& title, const std::string& text) {
    std::lock_guard lock(mutex_);
    Line("notice: " + OneLine(title) + ": " + OneLine(text));
}

void StderrPanel::ShowDiagnostic(const std::string& line) {
    std::lock_guard lock(mutex_);
    Line(OneLine(line));
}

std::vector<std::vector<std::string>> StderrPanel::Rows() {
    std::lock_guard lock(mutex_);
    return rows_;
}

std::string StderrPanel::StartButtonText() {
    std::lock_guard lock(mutex_);
    return buttonText_;
}

}  // namespace norvex
