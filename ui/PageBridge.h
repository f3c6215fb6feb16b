// The way a form submit reaches the program: a script of ours in every page stops the
// submit, encodes the form exactly as the browser would post it (the pressed button
// included), takes a snapshot of the page's inputs and calls `submit` over the web channel;
// the answer says whether the browser goes on with the post.
#pragma once

#include "document/Pages.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class CPageBridge : public QObject {
    Q_OBJECT

public:
    // Answers true when the browser goes on with the post; `inputs` is null when the page
    // sent no snapshot.
    using Handler =
        std::function<bool(const QString& url, const QByteArray& body, const PageInputs* inputs)>;

    explicit CPageBridge(QObject* parent = nullptr) : QObject(parent) {}
    void SetHandler(Handler handler) { m_handler = std::move(handler); }

    // The name under which the page's script finds this object.
    static QString ObjectName() { return QStringLiteral("pageBridge"); }
    // The script injected into the pages' application world: the web channel's client and
    // the submit catcher.
    static QString Script();
    // The snapshot as the script sends it: id or name -> value, null for an element that is
    // not a text input.
    static PageInputs InputsFromSnapshot(const QVariantMap& snapshot);

public slots:
    bool submit(const QString& url, const QString& body, const QVariantMap& inputs);

private:
    Handler m_handler;
};
