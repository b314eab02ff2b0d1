#pragma once

#include "files/PrintText.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace kelvar::test {

// Pages of lines as a printer would get them.
class PageRecorder : public cPrintSurface {
public:
    explicit PageRecorder(int perPage) : fontLines_(perPage), perPage_(perPage) {}
    int LinesPerPage() const override { return perPage_; }
    void FitLines(int lines) override { perPage_ = std::max(fontLines_, lines); }
    void NewPage() override { pages.append(QStringList()); }
    void DrawLine(int row, const QString& text) override {
        EXPECT_EQ(row, pages.last().size()) << "rows go down the page one by one";
        pages.last().append(text);
    }
    QList<QStringList> pages{QStringList()};

private:
    int fontLines_;
    int perPage_;
};

} // namespace kelvar::test
