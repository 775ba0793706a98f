#include "campos_csv.h"

#include <cstring>

void separa_campos(std::string_view linha, char separador, std::size_t maximo, CamposCsv& c) {
    c.n = 0;
    c.mais = false;
    c.valido = true;
    c.duplas = 0;
    const char* p = linha.data();
    const char* const fim = p + linha.size();
    const auto resta = [&](const char* q) { return static_cast<std::size_t>(fim - q); };
    for (;;) {
        if (c.n == maximo) {
            c.mais = true;
            return;
        }
        if (p < fim && *p == '"') {
            const char* q = p + 1;
            for (;;) {
                q = static_cast<const char*>(std::memchr(q, '"', resta(q)));
                if (q == nullptr) {
                    c.valido = false;
                    return;
                }
                if (q + 1 == fim || q[1] != '"') break;
                c.duplas |= 1U << c.n;
                q += 2;
            }
            c.campos[c.n++] = {p + 1, static_cast<std::size_t>(q - p - 1)};
            p = q + 1;
            if (p == fim) return;
            if (*p != separador) {
                c.valido = false;
                return;
            }
            ++p;
        } else {
            const char* s = static_cast<const char*>(std::memchr(p, separador, resta(p)));
            if (s == nullptr) {
                c.campos[c.n++] = {p, resta(p)};
                return;
            }
            c.campos[c.n++] = {p, static_cast<std::size_t>(s - p)};
            p = s + 1;
        }
    }
}

std::string_view desfaz_aspas(std::string_view campo, std::string& destino) {
    const std::size_t inicio = destino.size();
    for (std::size_t i = 0; i < campo.size(); ++i) {
        destino += campo[i];
        if (campo[i] == '"') ++i;
    }
    return std::string_view(destino).substr(inicio);
}
