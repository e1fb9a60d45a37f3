#pragma once

#include <QOpenGLWindow>

struct mpv_handle;
struct mpv_render_context;

// The video area's surface: libmpv renders into this window through its
// render API. It is a native child window of its own, embedded in the player
// with QWidget::createWindowContainer and made only when there is a picture
// to draw, so that a player that only ever plays radio loads no OpenGL at
// all. An OpenGL widget would not do: the first one in a window makes Qt
// compose that whole top-level window through OpenGL from then on, and
// recreate it to do so — which a window manager's reply to a maximise could
// meet halfway through its own delivery.
//
// The render context lives exactly as long as the GL context; the engine
// handle it draws from must outlive it, and a new engine replaces it (the
// old handle's render context is freed before the new one is made).
class MpvVideoWindow : public QOpenGLWindow
{
    Q_OBJECT

public:
    MpvVideoWindow();
    ~MpvVideoWindow() override;

    // Whether this platform gives an OpenGL context at all; the first call
    // loads the OpenGL driver, so it is asked only when a picture is wanted.
    // Platforms that draw widgets without composing textures (offscreen,
    // minimal, …) are counted out whatever OpenGL they offer.
    static bool isSupported();

    // The engine to draw, or null to draw none. Frees the render context of
    // the engine drawn so far (with the GL context current), then makes the
    // new one as soon as both the engine and the GL context exist.
    void attach(mpv_handle *mpv);
    mpv_handle *engine() const { return m_mpv; }

    bool hasRenderContext() const { return m_render != nullptr; }
    // Frames drawn since the window was made; tests and benchmarks read it.
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
    void onFrameReady();
    void createRenderContext();
    void freeRenderContext();

    mpv_handle *m_mpv = nullptr;
    mpv_render_context *m_render = nullptr;
    qint64 m_framesRendered = 0;
    QSize m_lastFramebufferSize;
};
