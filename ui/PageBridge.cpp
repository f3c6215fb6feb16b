#include "ui/PageBridge.h"

#include <QFile>

namespace {

// Runs in the application world of every page, after the web channel's client.
//
// The body is built as the browser builds application/x-www-form-urlencoded: the form's
// entries in tree order (the pressed button where it stands, which the browser's FormData
// leaves out, so a hidden twin is placed just before it for the moment), line breaks as
// CRLF, UTF-8, letters, digits and "*-._" kept, blanks as "+", every other byte "%XX".
const char kSubmitScript[] = R"JS(
(function () {
    'use strict';
    if (window.__mivoBridge) return;
    var state = window.__mivoBridge = { bridge: null, bypass: false, pending: null };

    function encode(text) {
        var bytes = new TextEncoder().encode(String(text).replace(/\r\n|\r|\n/g, '\r\n'));
        var out = '';
        for (var i = 0; i < bytes.length; ++i) {
            var b = bytes[i];
            if ((b >= 0x30 && b <= 0x39) || (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) ||
                b === 0x2A || b === 0x2D || b === 0x2E || b === 0x5F)
                out += String.fromCharCode(b);
            else if (b === 0x20)
                out += '+';
            else
                out += '%' + (b < 16 ? '0' : '') + b.toString(16).toUpperCase();
        }
        return out;
    }

    function serialise(form, submitter) {
        var twin = null;
        if (submitter && submitter.name) {
            twin = document.createElement('input');
            twin.type = 'hidden';
            twin.name = submitter.name;
            twin.value = submitter.value;
            if (submitter.hasAttribute('form'))
                twin.setAttribute('form', submitter.getAttribute('form'));
            submitter.parentNode.insertBefore(twin, submitter);
        }
        var pairs = [];
        try {
            new FormData(form).forEach(function (value, name) {
                pairs.push(encode(name) + '=' + encode(typeof value === 'string' ? value : value.name));
            });
        } finally {
            if (twin) twin.remove();
        }
        return pairs.join('&');
    }

    var textTypes = { text: 1, password: 1, hidden: 1, search: 1, email: 1, url: 1, tel: 1, number: 1 };
    function snapshot() {
        var inputs = {};
        var all = document.querySelectorAll('[id],[name]');
        for (var i = 0; i < all.length; ++i) {
            var e = all[i];
            var value = e.tagName === 'INPUT' && textTypes[e.type] === 1 ? e.value : null;
            [e.id, e.getAttribute('name')].forEach(function (key) {
                if (key && !Object.prototype.hasOwnProperty.call(inputs, key))
                    inputs[key] = value;
            });
        }
        return inputs;
    }

    function send(request) {
        state.bridge.submit(request.url, request.body, request.inputs, function (goOn) {
            if (!goOn || !request.form.isConnected) return;
            state.bypass = true;
            try {
                if (request.submitter && request.submitter.isConnected)
                    request.form.requestSubmit(request.submitter);
                else
                    request.form.requestSubmit();
            } finally {
                state.bypass = false;
            }
        });
    }

    window.addEventListener('submit', function (event) {
        if (state.bypass) return;
        event.preventDefault();
        var form = event.target;
        var submitter = event.submitter || null;
        var request = { form: form, submitter: submitter, url: form.action || location.href,
                        body: serialise(form, submitter), inputs: snapshot() };
        if (state.bridge) send(request); else state.pending = request;
    }, false);

    new QWebChannel(qt.webChannelTransport, function (channel) {
        state.bridge = channel.objects.pageBridge;
        if (state.pending) { var request = state.pending; state.pending = null; send(request); }
    });
})();
)JS";

} // namespace

QString CPageBridge::Script() {
    QFile channel(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    QString script;
    if (channel.open(QIODevice::ReadOnly))
        script = QString::fromUtf8(channel.readAll());
    return script + QString::fromUtf8(kSubmitScript);
}

PageInputs CPageBridge::InputsFromSnapshot(const QVariantMap& snapshot) {
    PageInputs inputs;
    for (auto it = snapshot.constBegin(); it != snapshot.constEnd(); ++it) {
        const QVariant& value = it.value();
        if (value.typeId() == QMetaType::QString)
            inputs.Add(it.key().toStdString(), value.toString().toStdString());
        else
            inputs.Add(it.key().toStdString(), std::nullopt);
    }
    return inputs;
}

bool CPageBridge::submit(const QString& url, const QString& body, const QVariantMap& inputs) {
    if (!m_handler)
        return true;
    const PageInputs snapshot = InputsFromSnapshot(inputs);
    // The encoded body is ASCII; any other character would not come from the browser's
    // encoding and is kept as UTF-8.
    return m_handler(url, body.toUtf8(), &snapshot);
}
