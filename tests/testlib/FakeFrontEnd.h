// Scripted fakes of the front end for headless tests of the document: a list control that
// keeps its rows in memory, a front end whose dialogs answer from a script, and a view that
// counts its updates.
#pragma once

#include "document/DocView.h"
#include "document/IFrontEnd.h"
#include "document/IListControl.h"
#include "document/StampListPanel.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class FakeListControl final : public IListControl {
public:
    struct Row {
        std::string name;
        std::string time;
        std::string status;
        RowVerdict verdict = {};
    };

    CStampListPanel* panel = nullptr; // told of focus changes, as the real list does
    int width = 300;
    std::vector<std::pair<std::string, int>> columns;
    std::vector<Row> rows;
    int selected = -1;
    bool scrolledToEnd = false;
    int focusCalls = 0;

    int ClientWidth() const override { return width; }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    void DeleteAllRows() override {
        rows.clear();
        selected = -1;
    }
    void InsertColumn(int index, const std::string& heading, int w) override {
        columns.insert(columns.begin() + index, {heading, w});
    }
    int InsertRow(int row, const std::string& text) override {
        rows.insert(rows.begin() + row, Row{text, "", "", {}});
        if (selected >= row)
            ++selected;
        return row;
    }
    void SetItemText(int row, int column, const std::string& text) override {
        Row& r = rows.at(static_cast<size_t>(row));
        (column == 0 ? r.name : column == 1 ? r.time : r.status) = text;
    }
    bool SelectAndFocus(int row) override {
        if (row < 0 || row >= RowCount())
            return false;
        selected = row;
        if (panel != nullptr)
            panel->OnItemChanged(row, true);
        return true;
    }
    void SelectNone() override { selected = -1; }
    int FirstSelectedRow() const override { return selected; }
    void DeleteRow(int row) override {
        rows.erase(rows.begin() + row);
        if (selected == row)
            selected = -1;
        else if (selected > row)
            --selected;
    }
    void ScrollToEnd() override { scrolledToEnd = true; }
    void SetFocus() override { ++focusCalls; }
    void SetRowVerdict(int row, const RowVerdict& verdict) override {
        rows.at(static_cast<size_t>(row)).verdict = verdict;
    }
};

class FakeFrontEnd final : public IFrontEnd {
public:
    FakeFrontEnd() : panel(list) { list.panel = &panel; }

    bool mainWindow = true;
    FakeListControl list;
    CStampListPanel panel;
    // Answers of the open-file dialog, in order; nullopt = cancelled.
    std::deque<std::optional<std::string>> fileAnswers;
    std::vector<FileDialogSpec> fileDialogs;
    // The verification dialog: what it was shown with, and the user's part.
    std::vector<VerifyDialogValues> verifyShown;
    std::function<bool(VerifyDialogValues&)> verifyAnswer = [](VerifyDialogValues& v) {
        return v.CanConfirm(); // OK as proposed
    };

    bool HasMainWindow() const override { return mainWindow; }
    IStampListPanel* ListPanel() override { return mainWindow ? &panel : nullptr; }
    std::optional<std::string> ChooseFile(const FileDialogSpec& spec) override {
        fileDialogs.push_back(spec);
        if (fileAnswers.empty())
            return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
    // Long work runs in place; every report is kept. The user asks to stop during long work
    // number `stopDuringWork` (1: the first; 0: never): a piece that stops at once leaves
    // no result, one of a series runs to its end.
    std::vector<std::pair<std::string, int>> reports;
    int longWorks = 0;
    int stopDuringWork = 0;
    LongWorkOutcome RunLongWork(const LongWork& work, LongWorkStop stop) override {
        struct Recorder : ILongWorkProgress {
            std::vector<std::pair<std::string, int>>& to;
            explicit Recorder(std::vector<std::pair<std::string, int>>& r) : to(r) {}
            void Report(const std::string& text, int percent) override {
                to.emplace_back(text, percent);
            }
        } recorder(reports);
        const bool stopNow = ++longWorks == stopDuringWork;
        if (stopNow && stop == LongWorkStop::Abort)
            return {false, true};
        work(recorder);
        return {true, stopNow};
    }
    bool RunVerifyDialog(VerifyDialogValues& values) override {
        verifyShown.push_back(values);
        const bool ok = verifyAnswer(values);
        if (!ok)
            values.OnCancel();
        return ok;
    }
};

class CountingView final : public CView {
public:
    int updates = 0;
    std::vector<unsigned> commands;
    void OnUpdate(CView*, long) override { ++updates; }
    bool OnCommand(unsigned id) override {
        commands.push_back(id);
        return true;
    }
};
