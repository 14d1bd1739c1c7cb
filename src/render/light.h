#ifndef FX_RENDER_LIGHT_H
#define FX_RENDER_LIGHT_H

// Parameters of one OpenGL light; the render environment registers and sends it.
class FXLight {
public:
    int glLight; // GL_LIGHT0 + slot, written by the device when it sends the light
    float position[4];
    float spotDirection[4];
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float spotExponent;
    float spotCutoff;
    float constantAttenuation;
    float linearAttenuation;
    float quadraticAttenuation;
    bool off;

    FXLight();

    void SetDefDiffuse(float a);
    void SetDefault(float a);
    void SetDefAmbient(float a);
    void SetDefSpecular(float a);
    void SetDiffuseDark(float v, float a);
    void MultiColor(const float* m);
    void MultiColorF(float r, float g, float b, float a);
};

#endif
