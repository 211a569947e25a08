"""Texts in known encodings, made up here from word lists and Python's codecs,
for the accuracy of txmorph's encoding hint: sentences in five Western
languages, Russian, Polish and English, plain or as DOS reports drawn with
box characters and shades, of one line to some hundred, with the punctuation
of each language and page (quotes, dashes, the euro sign, degrees, halves),
now and then in capitals. The same seed makes the same files.
"""
import random

WORDS = {
    "fr": """le la les un une des et est à de du en pour que qui dans sur avec pas plus
        été très où même être après déjà général côté fenêtre forêt château hôpital
        élève école église année première dernière français société réponse idée
        problème système théâtre père mère frère rivière lumière matière manière
        ça garçon leçon reçu façon commençait noël naïf maïs aigüe août coût goût
        sûr île dîner boîte connaître paraître âge pâte gâteau grâce tâche bientôt
        hôtel rôle côte contrôle voilà là déçu préféré maison temps jour nuit chat
        chien ville pays monde homme femme enfant petit grand beau bon nouveau
        vieux autre tout rien toujours souvent""",
    "de": """der die das und ist nicht ein eine mit von zu den auf für im dem des
        über können müssen würde hätte wäre größe straße grüße fuß schön früh
        später natürlich möglich gefährlich ähnlich ungefähr gemütlich mädchen
        bäcker schlüssel brücke tür küche öffnen hören gehören zurück glück stück
        zwölf fünf dürfen müde süß äpfel bäume häuser männer länder wörter bücher
        märz österreich übung äußerst weiß heißen haus zeit jahr mann frau kind
        stadt land arbeit leben hand wasser gut neu alt klein groß lang kurz immer
        wieder heute morgen abend""",
    "es": """el la los las un una y de que en por con para no se es su al lo como
        más también está están qué cómo dónde cuándo así aquí allí además año
        niño niña mañana señor señora españa español pequeño compañía información
        canción nación corazón razón jardín música página árbol fácil difícil
        último público rápido médico teléfono número sábado miércoles según
        después ningún algún común vivía había casa tiempo día vida mundo hombre
        mujer ciudad país trabajo agua bueno nuevo grande viejo siempre nunca
        ahora hoy ayer pero muy bien""",
    "it": """il lo la i gli le un una e di che in per con non si è del della al più
        già così però perché poiché città università libertà qualità verità età
        caffè tè né sé può giù lì là virtù gioventù tribù casa tempo giorno vita
        mondo uomo donna paese lavoro acqua buono nuovo grande vecchio sempre mai
        ora oggi ieri ma molto bene anche questo quello dove quando come cosa
        fare dire andare venire parlò mangiò arrivò andò finì partì sentì capì
        dormì papà""",
    "pt": """o a os as um uma e de que em por com para não se é do da ao no na são
        estão então também já até você além após através porém ação nação
        informação educação coração razão mãe pão irmão mão avó avô pôr pôde
        três mês português inglês francês país países música página número
        público último rápido médico fácil difícil água saúde ninguém alguém
        conteúdo história memória glória casa tempo dia vida mundo homem mulher
        cidade trabalho sempre nunca agora hoje ontem mas muito bem grande
        pequeno novo velho""",
    "en": """the of and to in is it you that he was for on are with as his they be
        at one have this from or had by word but not what all were we when your
        can said there use each which she do how their if will up other about
        out many then them these so some her would make like him into time has
        look two more write go see number no way could people my than first
        water been call who its now find long down day did total name date file
        page list count price sum item report menu""",
    "ru": """и в не на я быть он с что а по это она этот к но они мы как из у
        который то за свой весь год от так о для ты же все тот мочь вы человек
        такой его сказать только или ещё бы себя один уже до время если сам
        когда другой вот говорить наш мой знать стать при чтобы дело жизнь кто
        первый очень два день её новый рука даже во со раз где там под можно ну
        какой после их работа без самый потом надо хотеть ли слово идти большой
        должен место иметь ничто жить сейчас тоже лицо дом друг глаз вопрос
        здесь голова думать объявление съезд подъезд пьеса семья чьё щука щи юг
        юбка яблоко ящик эти""",
    "mix": """東京 日本語 中文 한국어 😀 🎉 👍 €5 naïve café Größe über объявление щука
        the of and to in is it that for on with as at from by this or""",
    "pl": """i w nie na się z że do to jest jak o co ale po tak za od już przez być
        który jego może gdy tylko są ich będzie więc także dla między żeby też
        bardzo mój twój nasz wasz ręka głowa miłość życie człowiek dziecko
        kobieta mężczyzna świat miasto państwo książka źródło łódź ślub żółw gęś
        pięć dziś jeszcze wieś często później szkoła pracować mówić wiedzieć
        chcieć móc musieć powiedzieć""",
}

# Inner punctuation, sentence ends and quotes.
PUNCTUATION = {
    "fr": ([", ", " ; ", " : "], [".", " !", " ?"], ("« ", " »")),
    "de": ([", ", "; ", ": "], [".", "!", "?"], ("„", "“")),
    "es": ([", ", "; "], ["."], ("«", "»")),
    "it": ([", ", "; "], [".", "!", "?"], ("«", "»")),
    "pt": ([", ", "; "], [".", "!", "?"], ("“", "”")),
    "en": ([", ", "; "], ["."], ('"', '"')),
    "ru": ([", ", " — ", "; "], [".", "!", "?"], ("«", "»")),
    "pl": ([", ", "; "], [".", "!", "?"], ("„", "”")),
    "mix": ([", ", " — "], [".", "!", "。"], ("“", "”")),
}
# What a page without a character writes instead.
PLAIN = {"\u2019": "'", "\u2013": "-", "\u2026": "...", "\u20ac": "EUR", "\u2014": "-"}
ENDINGS = [" 25 \u20ac", "\u2026", " (n\u00b0 3)", " 12\u00b0C", " \u00bd"]
APOSTROPHES = {"fr": " l\u2019", "it": " un\u2019", "en": " don\u2019t "}

BOX_SINGLE = "┌─┬┐│├┼┤└┴┘"
BOX_DOUBLE = "╔═╦╗║╠╬╣╚╩╝"


def held(text, page):
    """The text with what the page lacks written plainly, or left out."""
    out = []
    for ch in text:
        try:
            ch.encode(page)
            out.append(ch)
        except UnicodeEncodeError:
            out.append(PLAIN.get(ch, ""))
    return "".join(out)


def sentence(rng, language):
    words = WORDS[language].split()
    inner, ends, quotes = PUNCTUATION[language]
    count = rng.randint(2, 16)
    parts = []
    for i in range(count):
        word = rng.choice(words)
        parts.append(word[0].upper() + word[1:] if i == 0 else word)
        if i < count - 1:
            parts.append(rng.choice(inner) if rng.random() < 0.1 else " ")
    text = "".join(parts)
    if rng.random() < 0.05:
        text = text.upper()
    if rng.random() < 0.1:
        text = text.replace(" ", " \u2013 ", 1)
    if rng.random() < 0.1:
        text += rng.choice(ENDINGS)
    if language in APOSTROPHES and rng.random() < 0.2:
        text = text.replace(" ", APOSTROPHES[language], 1)
    if rng.random() < 0.1:
        text = quotes[0] + text + quotes[1]
    if rng.random() < 0.15:
        text += " " + str(rng.randint(1, 2030))
    return text + rng.choice(ends)


def paragraphs(rng, language, page, lines):
    return [held(sentence(rng, language), page) for _ in range(lines)]


def report(rng, language, page):
    """A DOS report: a framed title, a table of words and numbers, shades."""
    width = rng.randint(30, 70)
    tl, h, _, tr, v, _, _, _, bl, _, br = BOX_DOUBLE if rng.random() < 0.5 else BOX_SINGLE
    title = held(sentence(rng, language), page)[: width - 4]
    lines = [tl + h * (width - 2) + tr, v + " " + title.ljust(width - 4) + " " + v,
             bl + h * (width - 2) + br]
    s = BOX_SINGLE
    columns = rng.randint(2, 4)
    cell = max(6, (width - columns - 1) // columns)
    lines.append(s[0] + s[2].join([s[1] * cell] * columns) + s[3])
    for _ in range(rng.randint(2, 12)):
        cells = [held(rng.choice(WORDS[language].split()), page)[:cell].ljust(cell)]
        cells += [str(rng.randint(0, 99999)).rjust(cell) for _ in range(columns - 1)]
        lines.append(s[4] + s[4].join(cells) + s[4])
        if rng.random() < 0.3:
            lines.append(s[5] + s[6].join([s[1] * cell] * columns) + s[7])
    lines.append(s[8] + s[9].join([s[1] * cell] * columns) + s[10])
    for _ in range(rng.randint(0, 3)):
        lines.append(rng.choice("░▒▓█") * rng.randint(5, width))
    if rng.random() < 0.5:
        lines += paragraphs(rng, language, page, rng.randint(1, 5))
    return lines


def text_in(rng, language, page, box):
    """A text the page holds, with at least one character beyond ASCII."""
    while True:
        if box:
            lines = report(rng, language, page)
        else:
            lines = paragraphs(rng, language, page, rng.choice([1, 1, 2, 3, 5, 10, 20, 50, 100]))
        text = "\r\n".join(lines) + "\r\n"
        if any(ord(ch) > 127 for ch in text):
            return text


def texts(name, page, languages, box=False, count=40, seed=21):
    """`count` texts (str) for the page, the languages taken in turn."""
    rng = random.Random(f"{seed}-{name}")
    return [text_in(rng, languages[i % len(languages)], page, box) for i in range(count)]


def cut_utf8(rng, text):
    """The UTF-8 of a text cut inside one of its characters of more than one byte."""
    i = rng.choice([i for i, ch in enumerate(text) if len(ch.encode()) > 1])
    start = len(text[:i].encode())
    return text.encode()[: start + rng.randint(1, len(text[i].encode()) - 1)]
