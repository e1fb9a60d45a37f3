#pragma once

#include <QOpenGLWidget>

struct mpv_handle;
struct mpv_render_context;

// The video area: libmpv renders into this widget's framebuffer through its
// render API. The render context lives exactly as long as the widget's GL
// context; the engine handle it draws from must outlive the widget.
class MpvVideoWidget : public QOpenGLWidget
{
    Q_OBJECT

public:
    explicit MpvVideoWidget(mpv_handle *mpv, QWidget *parent = nullptr);
    ~MpvVideoWidget() override;

    bool hasRenderContext() const { return m_render != nullptr; }
    // Frames drawn since the widget was created; tests and benchmarks read it.
    qint64 framesRendered() const { return m_framesRendered; }

Q_SIGNALS:
    // The render context exists: libmpv can now output video here.
    void renderContextReady();
    void renderContextFailed(const QString &reason);

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    static void onUpdate(void *self);
    void freeRenderContext();

    mpv_handle *m_mpv;
    mpv_render_context *m_render = nullptr;
    qint64 m_framesRendered = 0;
};
