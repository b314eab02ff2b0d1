#pragma once

#include "shell/Help.h"

#include <QList>
#include <QUrl>

namespace kelvar::test {

// A browser that keeps the pages it is given instead of showing them.
class FakeBrowser : public cBrowser {
public:
    bool Found() override { return found; }
    bool Open(const QUrl& url) override {
        opened.append(url);
        return opens;
    }
    bool found = true;
    bool opens = true;
    QList<QUrl> opened;
};

} // namespace kelvar::test
