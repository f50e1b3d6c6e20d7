<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Brindle Lane Bakery</title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<header class="site-header">
  <p class="brand"><a href="index.html">Brindle Lane Bakery</a></p>
  <nav>
    <a href="index.html" aria-current="page">Home</a>
    <a href="hours.html">Opening hours</a>
    <a href="news/news.html">News</a>
  </nav>
</header>
<main>
  <div>
    <section>
      <h1>Bread baked before sunrise</h1>
      <p>@{Welcome}@</p>
    </section>
    <section class="card">
      <h2>This week’s specials</h2>
      <p>@{Specials}@</p>
    </section>
  </div>
  <aside class="card">
    <h2>Opening hours</h2>
    <p>@{Opening_hours}@</p>
    <p><a href="hours.html">Holidays and how to find us</a></p>
  </aside>
</main>
<footer>
  <p>Brindle Lane Bakery · 12 Brindle Lane · Ashford Green</p>
</footer>
</body>
</html>
