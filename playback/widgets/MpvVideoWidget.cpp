#include "MpvVideoWidget.h"

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

bool MpvVideoWidget::isSupported()
{
    static const bool supported = [] {
        // These platforms draw widgets without composing textures, whatever
        // OpenGL they offer (offscreen makes GLX contexts when a display is
        // there); an OpenGL widget in a window crashes their flush.
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

MpvVideoWidget::MpvVideoWidget(QWidget *parent)
    : QOpenGLWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
}

void MpvVideoWidget::attach(mpv_handle *mpv)
{
    if (m_mpv || !mpv)
        return;
    m_mpv = mpv;
    // Already initialised (shown before the engine was there): make the
    // render context now; otherwise initializeGL() will.
    if (context() && context()->isValid()) {
        makeCurrent();
        createRenderContext();
        doneCurrent();
    }
}

MpvVideoWidget::~MpvVideoWidget()
{
    // ~QOpenGLWidget destroys the GL context after this object has ceased to
    // be an MpvVideoWidget; the aboutToBeDestroyed handler below must not run
    // on it then.
    if (QOpenGLContext *gl = context())
        disconnect(gl, nullptr, this, nullptr);
    // The render context must be freed with its GL context current.
    makeCurrent();
    freeRenderContext();
    doneCurrent();
}

void MpvVideoWidget::freeRenderContext()
{
    if (!m_render)
        return;
    MpvLibrary::api().render_context_set_update_callback(m_render, nullptr, nullptr);
    MpvLibrary::api().render_context_free(m_render);
    m_render = nullptr;
}

void MpvVideoWidget::initializeGL()
{
    createRenderContext();
}

void MpvVideoWidget::createRenderContext()
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
    MpvLibrary::api().render_context_set_update_callback(m_render, &MpvVideoWidget::onUpdate, this);
    // The context goes when the GL context goes, e.g. when the widget moves
    // to another top-level window.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    });
    Q_EMIT renderContextReady();
}

void MpvVideoWidget::onUpdate(void *self)
{
    // Called on a libmpv thread; the frame is drawn on the UI thread.
    auto *widget = static_cast<MpvVideoWidget *>(self);
    QMetaObject::invokeMethod(
        widget,
        [widget] {
            if (widget->m_render
                && (MpvLibrary::api().render_context_update(widget->m_render) & MPV_RENDER_UPDATE_FRAME))
                widget->update();
        },
        Qt::QueuedConnection);
}

void MpvVideoWidget::paintGL()
{
    if (!m_render)
        return;
    // The framebuffer is the widget's size in device pixels, rounded as Qt
    // rounds it when it makes the framebuffer (a fractional scale such as
    // 1.5 would otherwise leave its last row or column undrawn).
    const QSize device = size() * devicePixelRatioF();
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
