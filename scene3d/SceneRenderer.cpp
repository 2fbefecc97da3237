#include "scene3d/SceneRenderer.h"

#include <GL/gl.h>

namespace vistamaze {
namespace {

void SetUpLights(const Scene3d& scene) {
    const GLfloat white[4] = {1.0F, 1.0F, 1.0F, 1.0F};
    const GLfloat ambient[4] = {0.2F, 0.2F, 0.2F, 1.0F};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    GLenum id = GL_LIGHT0;
    for (const LightSource* light : scene.Lights()) {
        const Vec3 p = light->Position();
        const GLfloat position[4] = {static_cast<GLfloat>(p.x), static_cast<GLfloat>(p.y),
                                     static_cast<GLfloat>(p.z), 1.0F};
        glLightfv(id, GL_POSITION, position);
        glLightfv(id, GL_DIFFUSE, white);
        glLightf(id, GL_CONSTANT_ATTENUATION, static_cast<GLfloat>(light->ConstAttenuation()));
        glLightf(id, GL_SPOT_CUTOFF, static_cast<GLfloat>(light->SpotCutOff()));
        glEnable(id);
        ++id;
    }
    glEnable(GL_LIGHTING);
}

}  // namespace

void RenderScene(const Scene3d& scene, Camera& camera, int width, int height, const ViewSettings& settings) {
    glViewport(0, 0, width, height);
    const QColor& bg = settings.backgroundColor;
    glClearColor(static_cast<GLfloat>(bg.redF()), static_cast<GLfloat>(bg.greenF()),
                 static_cast<GLfloat>(bg.blueF()), 1.0F);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    settings.faceCulling ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
    glShadeModel(settings.smoothShading ? GL_SMOOTH : GL_FLAT);
    settings.multisample ? glEnable(GL_MULTISAMPLE) : glDisable(GL_MULTISAMPLE);
    // Object scales would otherwise lengthen the normals and brighten the lighting.
    glEnable(GL_NORMALIZE);

    const Frustum f = camera.BeginRender(width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(f.left, f.right, f.bottom, f.top, f.nearPlane, f.farPlane);
    glMatrixMode(GL_MODELVIEW);
    const Matrix4 view = camera.ViewMatrix();
    glLoadMatrixd(view.data());
    SetUpLights(scene);

    for (const SceneObject* object : scene.DrawableObjects()) {
        if (!object->Visible()) {
            continue;
        }
        glPushMatrix();
        const Matrix4 model = object->ModelMatrix();
        glMultMatrixd(model.data());
        object->DrawGeometry();
        glPopMatrix();
    }
    glFlush();
}

}  // namespace vistamaze
