#pragma once

#include <QOpenGLWidget>

struct mpv_handle;
struct mpv_render_context;

// The video area: libmpv renders into this widget's framebuffer through its
// render API. The render context lives exactly as long as the widget's GL
// context; the engine handle it draws from must outlive the widget.
//
// The widget is made together with the window, before the window is first
// shown, and the engine is attached when it exists: the first OpenGL widget
// of a window that is already on screen makes Qt recreate the window's
// native surface for OpenGL, which a window manager's reply to a maximise
// can meet halfway through its own delivery.
class MpvVideoWidget : public QOpenGLWidget
{
    Q_OBJECT

public:
    explicit MpvVideoWidget(QWidget *parent = nullptr);
    ~MpvVideoWidget() override;

    // Whether this platform gives an OpenGL context at all. A window that
    // holds an OpenGL widget composes through OpenGL from its first frame,
    // and without OpenGL that composition crashes; the player then has no
    // video area. Asked once per process.
    static bool isSupported();

    // The engine to draw; the render context is made as soon as both it and
    // the widget's GL context exist.
    void attach(mpv_handle *mpv);

    bool hasRenderContext() const { return m_render != nullptr; }
    // Frames drawn since the widget was created; tests and benchmarks read it.
    qint64 framesRendered() const { return m_framesRendered; }
    // The size in device pixels of the framebuffer the last frame was drawn into.
    QSize lastFramebufferSize() const { return m_lastFramebufferSize; }

Q_SIGNALS:
    // The render context exists: libmpv can now output video here.
    void renderContextReady();
    void renderContextFailed(const QString &reason);

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    static void onUpdate(void *self);
    void createRenderContext();
    void freeRenderContext();

    mpv_handle *m_mpv = nullptr;
    mpv_render_context *m_render = nullptr;
    qint64 m_framesRendered = 0;
    QSize m_lastFramebufferSize;
};
