#include "MpvVideoWindow.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QOpenGLContext>

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include "MpvLibrary.h"
#include "PlayerLog.h"

namespace {

void *getProcAddress(void *, const char *name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void *>(context->getProcAddress(name)) : nullptr;
}

}

bool MpvVideoWindow::isSupported()
{
    static const bool supported = [] {
        // These platforms draw without composing native child windows, whatever
        // OpenGL they offer (offscreen makes GLX contexts when a display is
        // there).
        static const QStringList withoutComposition = {
            QStringLiteral("offscreen"), QStringLiteral("minimal"), QStringLiteral("minimalegl"),
            QStringLiteral("vnc"), QStringLiteral("linuxfb")};
        if (withoutComposition.contains(QGuiApplication::platformName()))
            return false;
        QOpenGLContext probe;
        return probe.create();
    }();
    return supported;
}

MpvVideoWindow::MpvVideoWindow()
    : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate)
{
}

MpvVideoWindow::~MpvVideoWindow()
{
    // The render context must be freed with its GL context current, before
    // ~QOpenGLWindow takes the GL context away.
    if (QOpenGLContext *gl = context()) {
        disconnect(gl, nullptr, this, nullptr);
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    }
}

void MpvVideoWindow::attach(mpv_handle *mpv)
{
    if (mpv == m_mpv)
        return;
    const bool haveGl = context() && context()->isValid();
    if (haveGl)
        makeCurrent();
    freeRenderContext();
    m_mpv = mpv;
    // Already initialised: make the render context now; otherwise
    // initializeGL() will.
    if (haveGl) {
        createRenderContext();
        doneCurrent();
    }
}

void MpvVideoWindow::freeRenderContext()
{
    if (!m_render)
        return;
    MpvLibrary::api().render_context_set_update_callback(m_render, nullptr, nullptr);
    MpvLibrary::api().render_context_free(m_render);
    m_render = nullptr;
}

void MpvVideoWindow::initializeGL()
{
    // The context goes when the platform window goes (the window is
    // destroyed, or reparented to another top-level): the render context
    // goes first.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    });
    createRenderContext();
}

void MpvVideoWindow::createRenderContext()
{
    if (m_render || !m_mpv)
        return;
    mpv_opengl_init_params glInit { &getProcAddress, nullptr };
    int advanced = 1;
    mpv_render_param params[] = {
        { MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_OPENGL) },
        { MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit },
        { MPV_RENDER_PARAM_ADVANCED_CONTROL, &advanced },
        { MPV_RENDER_PARAM_INVALID, nullptr },
    };
    const int rc = MpvLibrary::api().render_context_create(&m_render, m_mpv, params);
    if (rc < 0) {
        m_render = nullptr;
        const QString reason = QString::fromUtf8(MpvLibrary::api().error_string(rc));
        qCWarning(lcPlayer) << "无法创建视频输出:" << reason;
        Q_EMIT renderContextFailed(reason);
        return;
    }
    MpvLibrary::api().render_context_set_update_callback(m_render, &MpvVideoWindow::onUpdate, this);
    Q_EMIT renderContextReady();
}

void MpvVideoWindow::onUpdate(void *self)
{
    // Called on a libmpv thread; the frame is drawn on the UI thread.
    QMetaObject::invokeMethod(static_cast<MpvVideoWindow *>(self), &MpvVideoWindow::onFrameReady,
                              Qt::QueuedConnection);
}

void MpvVideoWindow::onFrameReady()
{
    // libmpv wants to hear back after every update callback, drawn or not.
    if (!m_render || !(MpvLibrary::api().render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME))
        return;
    // A hidden or minimised window draws nothing.
    if (isExposed())
        update();
}

void MpvVideoWindow::paintGL()
{
    if (!m_render)
        return;
    // The framebuffer is the window's size in device pixels, rounded as Qt
    // rounds it when it sizes the native window (a fractional scale such as
    // 1.5 would otherwise leave its last row or column undrawn).
    const QSize device = size() * devicePixelRatio();
    mpv_opengl_fbo fbo { static_cast<int>(defaultFramebufferObject()), device.width(), device.height(), 0 };
    int flipY = 1;
    mpv_render_param params[] = {
        { MPV_RENDER_PARAM_OPENGL_FBO, &fbo },
        { MPV_RENDER_PARAM_FLIP_Y, &flipY },
        { MPV_RENDER_PARAM_INVALID, nullptr },
    };
    MpvLibrary::api().render_context_render(m_render, params);
    m_lastFramebufferSize = QSize(fbo.w, fbo.h);
    ++m_framesRendered;
}
