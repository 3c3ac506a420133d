#include "scene/glrenderer.h"

#include "scene/animatedmesh.h"
#include "scene/material.h"
#include "scene/nodes.h"
#include "scene/staticmesh.h"
#include "scene/view.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>
#include <GL/glu.h>
#include <glm/gtc/type_ptr.hpp>

#include <cstring>

namespace kavo::scene {

// Vertex buffers of one static mesh: one interleaved buffer per mesh object
// (position, normal, texture coordinate) and one index buffer per face group.
struct GLMeshCache : RenderCache {
  struct Group {
    GLuint ibo = 0;
    GLsizei count = 0;
    size_t faceGroup = 0;
  };
  struct Object {
    GLuint vbo = 0;
    size_t object = 0;
    std::vector<Group> groups;
  };
  std::vector<Object> objects;

  ~GLMeshCache() override {
    if (SDL_GL_GetCurrentContext() == nullptr) return;  // the context is gone and took the buffers with it
    for (Object& o : objects) {
      glDeleteBuffers(1, &o.vbo);
      for (Group& g : o.groups) glDeleteBuffers(1, &g.ibo);
    }
  }
};

namespace {

// An animated mesh's buffers: the vertex buffers are streamed, refilled
// with the posed vertices whenever the pose drawn changed; the index
// buffers stay.
struct GLAnimatedCache : GLMeshCache {
  size_t posing = SIZE_MAX;  // the posing the vertex buffers hold
};

constexpr GLsizei kStride = 8 * sizeof(float);

// Position, normal and texture coordinate of each vertex of a mesh object.
std::vector<float> Interleave(const MeshObject& obj) {
  const size_t n = obj.positions.size();
  const bool hasNormals = obj.normals.size() == n;
  const bool hasUV = obj.texCoords.size() == n;
  std::vector<float> interleaved(n * 8);
  for (size_t i = 0; i < n; ++i) {
    float* v = &interleaved[i * 8];
    const glm::vec3 p = obj.positions[i];
    const glm::vec3 nn = hasNormals ? obj.normals[i] : glm::vec3(0, 1, 0);
    const glm::vec2 t = hasUV ? obj.texCoords[i] : glm::vec2(0.0f);
    v[0] = p.x; v[1] = p.y; v[2] = p.z;
    v[3] = nn.x; v[4] = nn.y; v[5] = nn.z;
    v[6] = t.x; v[7] = t.y;
  }
  return interleaved;
}

void BuildMeshCache(const MeshData& data, GLenum usage, GLMeshCache& cache) {
  for (size_t oi = 0; oi < data.objects.size(); ++oi) {
    const MeshObject& obj = data.objects[oi];
    const size_t n = obj.positions.size();
    if (n == 0 || obj.faceGroups.empty()) continue;
    const std::vector<float> interleaved = Interleave(obj);
    GLMeshCache::Object co;
    co.object = oi;
    glGenBuffers(1, &co.vbo);
    glBindBuffer(GL_ARRAY_BUFFER, co.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(interleaved.size() * sizeof(float)), interleaved.data(),
                 usage);
    for (size_t gi = 0; gi < obj.faceGroups.size(); ++gi) {
      const FaceGroup& fg = obj.faceGroups[gi];
      // Only whole triangles whose indices lie inside the vertex list reach
      // the GPU: a bad model must never make it read past the buffer.
      std::vector<uint32_t> idx;
      idx.reserve(fg.indices.size());
      for (size_t k = 0; k + 2 < fg.indices.size(); k += 3) {
        uint32_t a = fg.indices[k], b = fg.indices[k + 1], c = fg.indices[k + 2];
        if (a < n && b < n && c < n) {
          idx.push_back(a);
          idx.push_back(b);
          idx.push_back(c);
        }
      }
      if (idx.empty()) continue;
      GLMeshCache::Group g;
      g.faceGroup = gi;
      g.count = static_cast<GLsizei>(idx.size());
      glGenBuffers(1, &g.ibo);
      glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, g.ibo);
      glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(idx.size() * sizeof(uint32_t)), idx.data(),
                   GL_STATIC_DRAW);
      co.groups.push_back(g);
    }
    cache.objects.push_back(std::move(co));
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

}  // namespace

struct GLRenderer::Quadric {
  GLUquadric* q = nullptr;
};

GLRenderer::GLRenderer() = default;

GLRenderer::~GLRenderer() {
  if (quadric_) {
    if (quadric_->q) gluDeleteQuadric(quadric_->q);
    delete quadric_;
  }
}

std::string GLRenderer::DetectRenderingReport() {
  if (SDL_GL_GetCurrentContext() == nullptr) return "Unknown";
  const char* r = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  if (!r || !*r) return "Unknown";
  std::string s = r;
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (s.find("llvmpipe") != std::string::npos || s.find("softpipe") != std::string::npos ||
      s.find("swrast") != std::string::npos)
    return "Software";
  return "Hardware";
}

std::vector<uint8_t> GLRenderer::ReadPixels(int width, int height) {
  if (width <= 0 || height <= 0 || SDL_GL_GetCurrentContext() == nullptr) return {};
  std::vector<uint8_t> bottomUp(static_cast<size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  std::vector<uint8_t> out(bottomUp.size());
  const size_t row = static_cast<size_t>(width) * 4;
  for (int y = 0; y < height; ++y)
    std::memcpy(out.data() + static_cast<size_t>(y) * row, bottomUp.data() + static_cast<size_t>(height - 1 - y) * row,
                row);
  return out;
}

void GLRenderer::SetFrameState() {
  View& view = *CurrentView();
  glViewport(0, 0, view.Width(), view.Height());
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(glm::value_ptr(ProjectionMatrix()));
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(glm::value_ptr(ViewMatrix()));

  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_NORMALIZE);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_ALPHA_TEST);
  glShadeModel(GL_SMOOTH);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, glm::value_ptr(view.ambient));
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
  lightingOn_ = view.lighting;
  if (lightingOn_) glEnable(GL_LIGHTING); else glDisable(GL_LIGHTING);

  fogOn_ = view.fog.enabled;
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glFogf(GL_FOG_START, view.fog.start);
  glFogf(GL_FOG_END, view.fog.end);
  glFogfv(GL_FOG_COLOR, glm::value_ptr(view.fog.color));
  glHint(GL_FOG_HINT, GL_NICEST);
  if (fogOn_) glEnable(GL_FOG); else glDisable(GL_FOG);

  if (view.antiAliasing > 0) glEnable(GL_MULTISAMPLE); else glDisable(GL_MULTISAMPLE);
  if (epoxy_gl_version() >= 20) glUseProgram(0);
}

void GLRenderer::BeginFrame(View& view) {
  cameraLayers_ = 0;
  if (view.report_ == "Unknown") view.report_ = DetectRenderingReport();
  glDepthMask(GL_TRUE);
  glClearColor(view.background.r, view.background.g, view.background.b, view.background.a);
  glClearDepth(1.0);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  SetFrameState();
}

void GLRenderer::EndFrame(View& view) {
  glFlush();
  if (view.capture_) {
    view.lastFrame_ = ReadPixels(view.Width(), view.Height());
    view.lastFrameW_ = view.Width();
    view.lastFrameH_ = view.Height();
  }
}

void GLRenderer::LoadNodeMatrix() {
  glMatrixMode(GL_MODELVIEW);
  glm::mat4 mv = ViewMatrix() * NodeMatrix();
  glLoadMatrixf(glm::value_ptr(mv));
}

void GLRenderer::ApplyMaterial(Material& m) {
  // The material state is set even when unlit: shaders read it as gl_FrontMaterial.
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, glm::value_ptr(m.ambient));
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, glm::value_ptr(m.diffuse));
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, glm::value_ptr(m.specular));
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, glm::value_ptr(m.emission));
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m.shininess < 0 ? 0 : (m.shininess > 128 ? 128 : m.shininess));
  if (lightingOn_ && !m.unlit) glEnable(GL_LIGHTING); else glDisable(GL_LIGHTING);
  glColor4fv(glm::value_ptr(m.diffuse));

  switch (m.blending) {
    case BlendingMode::Opaque:
      glDisable(GL_BLEND);
      break;
    case BlendingMode::Transparency:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      break;
    case BlendingMode::Additive:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE);
      break;
  }
  glDepthMask(m.depthWrite ? GL_TRUE : GL_FALSE);
  if (fogOn_ && !m.ignoreFog) glEnable(GL_FOG); else glDisable(GL_FOG);

  if (m.Textured() && m.texture.image.Bind() != 0) {
    glEnable(GL_TEXTURE_2D);
    GLint mode = GL_MODULATE;
    if (m.texture.mode == TextureMode::Replace) mode = GL_REPLACE;
    else if (m.texture.mode == TextureMode::Decal) mode = GL_DECAL;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  if (m.shader) m.shader->Apply(m);
}

void GLRenderer::UnApplyMaterial(Material& m) {
  if (m.shader) {
    m.shader->UnApply(m);
    if (epoxy_gl_version() >= 20) glUseProgram(0);
  }
}

void GLRenderer::VisitStaticMesh(StaticMeshNode& n) {
  const MeshData& data = n.Data();
  if (data.objects.empty()) return;
  auto* cache = dynamic_cast<GLMeshCache*>(n.Cache());
  if (!cache) {
    auto built = std::make_unique<GLMeshCache>();
    BuildMeshCache(data, GL_STATIC_DRAW, *built);
    cache = built.get();
    n.SetCache(std::move(built));
  }
  DrawMesh(n, data, *cache);
}

void GLRenderer::VisitAnimatedMesh(AnimatedMeshNode& n) {
  if (n.Data().objects.empty()) return;
  const MeshData& posed = n.PosedMesh();
  auto* cache = dynamic_cast<GLAnimatedCache*>(n.Cache());
  if (!cache) {
    auto built = std::make_unique<GLAnimatedCache>();
    BuildMeshCache(posed, GL_STREAM_DRAW, *built);
    built->posing = n.PosingCount();
    cache = built.get();
    n.SetCache(std::move(built));
  } else if (cache->posing != n.PosingCount()) {
    for (const GLMeshCache::Object& co : cache->objects) {
      if (co.object >= posed.objects.size()) continue;
      const std::vector<float> interleaved = Interleave(posed.objects[co.object]);
      glBindBuffer(GL_ARRAY_BUFFER, co.vbo);
      glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(interleaved.size() * sizeof(float)),
                      interleaved.data());
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    cache->posing = n.PosingCount();
  }
  DrawMesh(n, posed, *cache);
}

// Draws the buffers made from `data` (a static mesh's data or the posed
// copy of an animated one, which has the same face groups).
void GLRenderer::DrawMesh(StaticMeshNode& n, const MeshData& data, const GLMeshCache& cache) {
  LoadNodeMatrix();
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  for (const GLMeshCache::Object& co : cache.objects) {
    if (co.object >= data.objects.size()) continue;
    const MeshObject& obj = data.objects[co.object];
    if (!obj.visible) continue;
    glBindBuffer(GL_ARRAY_BUFFER, co.vbo);
    glVertexPointer(3, GL_FLOAT, kStride, reinterpret_cast<const void*>(0));
    glNormalPointer(GL_FLOAT, kStride, reinterpret_cast<const void*>(3 * sizeof(float)));
    glTexCoordPointer(2, GL_FLOAT, kStride, reinterpret_cast<const void*>(6 * sizeof(float)));
    for (const GLMeshCache::Group& g : co.groups) {
      Material* m = const_cast<Material*>(n.FaceGroupMaterial(obj.faceGroups[g.faceGroup]));
      static Material fallback("");
      if (!m) m = &fallback;
      ApplyMaterial(*m);
      glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, g.ibo);
      glDrawElements(GL_TRIANGLES, g.count, GL_UNSIGNED_INT, nullptr);
      UnApplyMaterial(*m);
    }
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void GLRenderer::VisitSphere(SphereNode& n) {
  if (!quadric_) {
    quadric_ = new Quadric;
    quadric_->q = gluNewQuadric();
    if (quadric_->q) {
      gluQuadricNormals(quadric_->q, GLU_SMOOTH);
      gluQuadricTexture(quadric_->q, GL_TRUE);
    }
  }
  if (!quadric_->q) return;
  LoadNodeMatrix();
  ApplyMaterial(n.material);
  gluSphere(quadric_->q, n.radius, n.slices < 3 ? 3 : n.slices, n.stacks < 2 ? 2 : n.stacks);
  UnApplyMaterial(n.material);
}

void GLRenderer::VisitGroup(GroupNode& n) {
  if (!n.VisibleAtRunTime()) return;
  LoadNodeMatrix();
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glColor4fv(glm::value_ptr(n.markerColor));
  const float h = n.CubeSize() * 0.5f;
  static const int edges[12][2] = {{0, 1}, {1, 3}, {3, 2}, {2, 0}, {4, 5}, {5, 7},
                                   {7, 6}, {6, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  glBegin(GL_LINES);
  for (const auto& e : edges)
    for (int k : e) glVertex3f((k & 1) ? h : -h, (k & 2) ? h : -h, (k & 4) ? h : -h);
  glEnd();
  if (lightingOn_) glEnable(GL_LIGHTING);
}

void GLRenderer::VisitLineSet(LineSetNode& n) {
  if (n.points.empty()) return;
  LoadNodeMatrix();
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDepthMask(GL_TRUE);
  if (n.color.a < 1.0f) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  glLineWidth(n.lineWidth > 0 ? n.lineWidth : 1.0f);
  glColor4fv(glm::value_ptr(n.color));
  glBegin(n.points.size() == 1 ? GL_POINTS : GL_LINE_STRIP);
  for (const glm::vec3& p : n.points) glVertex3fv(glm::value_ptr(p));
  glEnd();
  glLineWidth(1.0f);
  if (lightingOn_) glEnable(GL_LIGHTING);
}

// HUD elements draw in window pixels: origin at the view's top-left, y down.
void GLRenderer::BeginWindowPixels() {
  const View& view = *CurrentView();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, view.Width(), view.Height(), 0.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
}

void GLRenderer::EndWindowPixels() {
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

void GLRenderer::VisitHudSprite(HudSpriteNode& n) {
  BeginWindowPixels();
  glTranslatef(n.X(), n.Y(), 0.0f);
  // With y running down, a negative angle about z turns counter-clockwise on screen.
  glRotatef(-n.rotation, 0.0f, 0.0f, 1.0f);
  glDisable(GL_DEPTH_TEST);
  ApplyMaterial(n.material);
  const float hw = n.width * 0.5f, hh = n.height * 0.5f;
  const float rx = n.material.texture.repeatX, ry = n.material.texture.repeatY;
  glNormal3f(0.0f, 0.0f, 1.0f);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, ry);  // texture top (t runs up the picture)
  glVertex2f(-hw, -hh);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-hw, hh);
  glTexCoord2f(rx, 0.0f);
  glVertex2f(hw, hh);
  glTexCoord2f(rx, ry);
  glVertex2f(hw, -hh);
  glEnd();
  UnApplyMaterial(n.material);
  glEnable(GL_DEPTH_TEST);
  EndWindowPixels();
}

void GLRenderer::VisitHudText(HudTextNode& n) {
  if (n.text.empty() || !n.font) return;
  const BitmapFontData& f = n.font->data;
  const unsigned texture = n.font->picture.Bind();
  BeginWindowPixels();
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (texture != 0) {
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  glColor4fv(glm::value_ptr(n.colour));

  const std::vector<std::string_view> lines = TextLines(n.text);
  const float lineStep = float(f.charHeight) + float(f.verticalSpacing);
  const float total = float(lines.size()) * f.charHeight + float(lines.size() - 1) * f.verticalSpacing;
  float y = n.Y();
  if (n.vLayout == HudTextNode::VLayout::Center) y -= total / 2;
  else if (n.vLayout == HudTextNode::VLayout::Bottom) y -= total;
  glBegin(GL_QUADS);
  for (std::string_view line : lines) {
    const float w = float(f.StringWidth(line));
    float x = n.X();
    if (n.hAlign == HudTextNode::HAlign::Center) x -= w / 2;
    else if (n.hAlign == HudTextNode::HAlign::Right) x -= w;
    for (char ch : line) {
      const auto c = static_cast<unsigned char>(ch);
      const float cw = float(f.widths[c]);
      if (cw > 0) {
        const GlyphRect& r = f.rects[c];
        glTexCoord2f(r.left, r.top);
        glVertex2f(x, y);
        glTexCoord2f(r.left, r.bottom);
        glVertex2f(x, y + f.charHeight);
        glTexCoord2f(r.right, r.bottom);
        glVertex2f(x + cw, y + f.charHeight);
        glTexCoord2f(r.right, r.top);
        glVertex2f(x + cw, y);
      }
      x += cw + f.italicCorrection + f.horizontalSpacing;
    }
    y += lineStep;
  }
  glEnd();
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  EndWindowPixels();
}

void GLRenderer::VisitDirectRender(DirectRenderNode& n) {
  if (!n.callback) return;
  DirectRenderContext ctx;
  ctx.view = CurrentView();
  ctx.modelMatrix = NodeMatrix();
  ctx.hasGL = true;
  {
    // The callback may change anything; everything it can touch is saved
    // here and restored afterwards, also when it throws.
    struct Restore {
      GLRenderer* self;
      ~Restore() {
        if (epoxy_gl_version() >= 20) glUseProgram(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        if (epoxy_gl_version() >= 13) glActiveTexture(GL_TEXTURE0);
        glMatrixMode(GL_TEXTURE);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glPopClientAttrib();
        glPopAttrib();
        self->SetFrameState();
      }
    };
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    LoadNodeMatrix();
    Restore restore{this};
    n.callback(ctx);
  }
  if (ctx.layerLight && cameraLayers_ > 0) ApplyLayerLight(*ctx.layerLight);
}

void GLRenderer::ApplyLayerLight(const LayerLight& light) {
  // The position is given in the callback node's frame: GL takes it
  // through the modelview matrix in force when it is set.
  LoadNodeMatrix();
  glLightfv(GL_LIGHT0, GL_POSITION, glm::value_ptr(light.position));
  glLightfv(GL_LIGHT0, GL_AMBIENT, glm::value_ptr(light.ambient));
  glLightfv(GL_LIGHT0, GL_DIFFUSE, glm::value_ptr(light.diffuse));
  glLightfv(GL_LIGHT0, GL_SPECULAR, glm::value_ptr(light.specular));
  glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, light.constantAttenuation);
  glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, light.linearAttenuation);
  glLightf(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, light.quadraticAttenuation);
  glEnable(GL_LIGHT0);
  GLint lights = 8;
  glGetIntegerv(GL_MAX_LIGHTS, &lights);
  for (GLint i = 1; i < lights; ++i) glDisable(static_cast<GLenum>(GL_LIGHT0 + i));
}

void GLRenderer::BeginCameraLayer(Node&) {
  // The layer starts on a fresh depth buffer, so nothing of the world hides
  // it; its lights are its own and end with it.
  ++cameraLayers_;
  glPushAttrib(GL_LIGHTING_BIT);
  glDepthMask(GL_TRUE);
  glClearDepth(1.0);
  glClear(GL_DEPTH_BUFFER_BIT);
}

void GLRenderer::EndCameraLayer(Node&) {
  --cameraLayers_;
  glPopAttrib();
  SetFrameState();
}

}  // namespace kavo::scene
